#pragma once

#include "Graphics.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace orvex {

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// The picture classes known by file extension. Registration is explicit: the
// program registers its formats at start (RegisterStandardPictureFormats) and
// a picture support adds or removes its own.
class TPictureFormats {
public:
    static TPictureFormats& Instance();

    // extension without the dot, compared without regard to case
    void Register(const QString& extension, const QString& description, const QString& className, TGraphicFactory factory);
    // Removes every extension of the class.
    void Unregister(const QString& className);
    const TGraphicFactory* Find(const QString& extension) const;
    // "Description (*.ext)" entries, for file dialogs.
    QStringList Filters() const;

    // Clipboard formats by number, for picture classes that can travel on the clipboard.
    unsigned RegisterClipboardFormat(const QString& name, const QString& className);
    void UnregisterClipboardFormat(const QString& className);
    unsigned ClipboardFormat(const QString& className) const;

private:
    struct Entry {
        QString extension, description, className;
        TGraphicFactory factory;
    };
    struct ClipboardEntry {
        unsigned format;
        QString name, className;
    };
    std::vector<Entry> m_entries;
    std::vector<ClipboardEntry> m_clipboard;
    unsigned m_nextClipboardFormat = 0xC000; // registered formats start here, as on the desktop
};

// Registers the bitmap ("bmp") and JPEG ("jpg", "jpeg") pictures.
void RegisterStandardPictureFormats();

// Holds one picture of any registered class.
class TPicture {
public:
    TPicture() = default;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TGraphic* Graphic() const { return m_graphic.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int Width() const { return m_graphic ? m_graphic->Width() : 0; }
    int Height() const { return m_graphic ? m_graphic->Height() : 0; }

    // Picks the class by the file's extension, loads the file into a new
    // picture and takes it; on failure the old picture stays and the
    // exception goes on.
    void LoadFromFile(const QString& fileName);

    std::function<void(TPicture&)> OnChange;
    TGraphic::ProgressEvent OnProgress;

private:
    void Changed();
    std::unique_ptr<TGraphic> m_graphic;
};

} // namespace orvex
