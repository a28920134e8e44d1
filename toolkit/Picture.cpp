#include "Picture.h"

#include "Exceptions.h"
#include "Jpeg.h"

#include <QFileInfo>
#include <algorithm>

namespace orvex {

TPictureFormats& TPictureFormats::Instance()
{
    static TPictureFormats formats;
    return formats;
}

void TPictureFormats::Register(const QString& extension, const QString& description, const QString& className,
                               TGraphicFactory factory)
{
    const QString ext = extension.toLower();
    std::erase_if(m_entries, [&](const Entry& e) { return e.extension == ext; });
    m_entries.push_back({ext, description, className, std::move(factory)});
}

void TPictureFormats::Unregister(const QString& className)
{
    std::erase_if(m_entries, [&](const Entry& e) { return e.className == className; });
}

const TGraphicFactory* TPictureFormats::Find(const QString& extension) const
{
    const QString ext = extension.toLower();
    for (const Entry& e : m_entries)
        if (e.extension == ext)
            return &e.factory;
    return nullptr;
}

QStringList TPictureFormats::Filters() const
{
    QStringList filters;
    for (const Entry& e : m_entries)
        filters << QStringLiteral("%1 (*.%2)").arg(e.description, e.extension);
    return filters;
}

unsigned TPictureFormats::RegisterClipboardFormat(const QString& name, const QString& className)
{
    for (const ClipboardEntry& e : m_clipboard)
        if (e.name == name)
            return e.format;
    m_clipboard.push_back({m_nextClipboardFormat, name, className});
    return m_nextClipboardFormat++;
}

void TPictureFormats::UnregisterClipboardFormat(const QString& className)
{
    std::erase_if(m_clipboard, [&](const ClipboardEntry& e) { return e.className == className; });
}

unsigned TPictureFormats::ClipboardFormat(const QString& className) const
{
    for (const ClipboardEntry& e : m_clipboard)
        if (e.className == className)
            return e.format;
    return 0;
}

void RegisterStandardPictureFormats()
{
    auto& formats = TPictureFormats::Instance();
    formats.Register(QStringLiteral("bmp"), QStringLiteral("Bitmaps"), QStringLiteral("TBitmap"),
                     [] { return std::make_unique<TBitmap>(); });
    formats.Register(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"), QStringLiteral("TJPEGImage"),
                     [] { return std::make_unique<TJPEGImage>(); });
    formats.Register(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"), QStringLiteral("TJPEGImage"),
                     [] { return std::make_unique<TJPEGImage>(); });
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    m_graphic = std::move(graphic);
    if (m_graphic) {
        m_graphic->OnChange = [this](TGraphic&) { Changed(); };
        m_graphic->OnProgress = [this](TGraphic& sender, TProgressStage stage, int percent, bool redrawNow,
                                       const TRect& rect, const QString& message) {
            if (OnProgress)
                OnProgress(sender, stage, percent, redrawNow, rect, message);
        };
    }
    Changed();
}

void TPicture::LoadFromFile(const QString& fileName)
{
    const QString extension = QFileInfo(fileName).suffix().toLower();
    const TGraphicFactory* factory = TPictureFormats::Instance().Find(extension);
    if (!factory)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    std::unique_ptr<TGraphic> graphic = (*factory)();
    // Progress reaches our listeners while the new picture loads.
    graphic->OnProgress = [this](TGraphic& sender, TProgressStage stage, int percent, bool redrawNow,
                                 const TRect& rect, const QString& message) {
        if (OnProgress)
            OnProgress(sender, stage, percent, redrawNow, rect, message);
    };
    graphic->LoadFromFile(fileName);
    SetGraphic(std::move(graphic));
}

void TPicture::Changed()
{
    if (OnChange)
        OnChange(*this);
}

} // namespace orvex
