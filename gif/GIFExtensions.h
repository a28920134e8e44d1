#pragma once

// The extension blocks of a GIF file ("!" blocks): graphic control (delay,
// transparency, disposal), comment, plain text and application extensions
// (the loop extension and unknown ones kept byte for byte), and the two
// process-wide registries that choose the class reading a block.

#include "GIFImage.h"

#include <QByteArray>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvex {

// How a frame's area is cleaned up before the next frame. Values 4 to 7 come
// through unchanged; the painter decides what they do.
enum TFrameDisposal : std::uint8_t {
    fdUnspecified = 0,
    fdKeep = 1,
    fdRestoreBackground = 2,
    fdRestorePrevious = 3,
};

// Extension labels.
inline constexpr std::uint8_t bsPlainTextExtension = 0x01;
inline constexpr std::uint8_t bsGraphicControlExtension = 0xF9;
inline constexpr std::uint8_t bsCommentExtension = 0xFE;
inline constexpr std::uint8_t bsApplicationExtension = 0xFF;

inline constexpr std::uint8_t kExtensionIntroducer = 0x21; // '!'
inline constexpr std::uint8_t kImageSeparator = 0x2C;      // ','
inline constexpr std::uint8_t kTrailer = 0x3B;             // ';'

class TGIFExtensionClass;

// Base of every extension; refers to the frame it belongs to.
class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage& subImage);
    // Unlinks itself from its frame's Extensions.
    ~TGIFExtension() override;

    TGIFSubImage& SubImage() const { return m_subImage; }
    virtual std::uint8_t ExtensionType() const = 0;
    virtual const TGIFExtensionClass& Class() const = 0;
    int Version() const override { return 2; }

protected:
    // Reads "!" and the label; raises when either is not what this class reads.
    void ReadIntroducer(TStream& stream);

private:
    TGIFSubImage& m_subImage;
};

// A class of extension: its constructor and its sub-class look-ahead, which
// may name a more specific class after peeking at the stream (application
// extensions look at their identifier). Stands in for a class reference.
class TGIFExtensionClass {
public:
    virtual ~TGIFExtensionClass() = default;
    virtual const char* Name() const = 0;
    virtual std::unique_ptr<TGIFExtension> Create(TGIFSubImage& subImage) const = 0;
    // The base answers the class itself.
    virtual const TGIFExtensionClass* GetExtensionClass(TStream& stream) const;
};

// Graphic control: delay, transparency and disposal of the next image.
class TGIFGraphicControlExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass& StaticClass();
    explicit TGIFGraphicControlExtension(TGIFSubImage& subImage);
    ~TGIFGraphicControlExtension() override;

    std::uint8_t ExtensionType() const override { return bsGraphicControlExtension; }
    const TGIFExtensionClass& Class() const override { return StaticClass(); }
    void LoadFromStream(TStream& stream) override;

    // The six bytes after the label, as read.
    struct Block {
        std::uint8_t BlockSize = 4;
        std::uint8_t PackedFields = 0;
        std::uint16_t DelayTime = 0;
        std::uint8_t TransparentColorIndex = 0;
        std::uint8_t Terminator = 0;
    } Data;

    bool Transparent() const { return (Data.PackedFields & 0x01) != 0; }
    // Also sets the frame's Transparent to the same value.
    void SetTransparent(bool value);
    std::uint8_t TransparentIndex() const { return Data.TransparentColorIndex; }
    // An index outside the frame's colour map warns "Invalid color index"
    // and stores 0.
    void SetTransparentIndex(std::uint8_t index);
    // Hundredths of a second.
    int DelayTime() const { return Data.DelayTime; }
    void SetDelayTime(int value) { Data.DelayTime = static_cast<std::uint16_t>(value); }
    bool UserInput() const { return (Data.PackedFields & 0x02) != 0; }
    TFrameDisposal Disposal() const { return static_cast<TFrameDisposal>((Data.PackedFields >> 2) & 0x07); }
    void SetDisposal(TFrameDisposal value);
};

// Plain text: a text grid and its lines (kept, never drawn).
class TGIFTextExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass& StaticClass();
    explicit TGIFTextExtension(TGIFSubImage& subImage) : TGIFExtension(subImage) {}

    std::uint8_t ExtensionType() const override { return bsPlainTextExtension; }
    const TGIFExtensionClass& Class() const override { return StaticClass(); }
    void LoadFromStream(TStream& stream) override;

    // The thirteen bytes after the label, as read.
    struct Block {
        std::uint8_t BlockSize = 12;
        std::uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
        std::uint8_t CellWidth = 0, CellHeight = 0;
        std::uint8_t TextFGColorIndex = 0, TextBGColorIndex = 0;
    } Data;
    // One line per text sub-block, up to the sub-block's first 0 byte.
    std::vector<QByteArray> Lines;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass& StaticClass();
    explicit TGIFCommentExtension(TGIFSubImage& subImage) : TGIFExtension(subImage) {}

    std::uint8_t ExtensionType() const override { return bsCommentExtension; }
    const TGIFExtensionClass& Class() const override { return StaticClass(); }
    void LoadFromStream(TStream& stream) override;

    std::vector<QByteArray> Lines;
};

using TGIFApplicationIdentifier = std::array<std::uint8_t, 11>;
// "NETSCAPE2.0" and the like, as an 11-byte identifier.
TGIFApplicationIdentifier MakeApplicationIdentifier(const char (&text)[12]);

// Application extension: an 11-byte identifier and its data sub-blocks.
class TGIFApplicationExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass& StaticClass();
    explicit TGIFApplicationExtension(TGIFSubImage& subImage) : TGIFExtension(subImage) {}

    std::uint8_t ExtensionType() const override { return bsApplicationExtension; }
    const TGIFExtensionClass& Class() const override { return StaticClass(); }
    void LoadFromStream(TStream& stream) override;

    // Eight bytes of application name and three of authentication code.
    TGIFApplicationIdentifier Identifier{};

protected:
    // Reads the data sub-blocks after the identifier.
    virtual void LoadData(TStream& stream) = 0;
};

// The loop extension ("NETSCAPE2.0", "ANIMEXTS1.0"): how often the animation
// repeats (0 for ever) and the buffer size hint.
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass& StaticClass();
    explicit TGIFAppExtNSLoop(TGIFSubImage& subImage);

    const TGIFExtensionClass& Class() const override { return StaticClass(); }

    std::uint16_t LoopCount = 0;
    std::uint32_t BufferSize = 0;

protected:
    void LoadData(TStream& stream) override;
};

// One data sub-block, kept as read: its size and exactly that many bytes.
struct TGIFBlock {
    std::uint8_t Size = 0;
    std::vector<std::uint8_t> Data;
};

// Any other application's data, kept byte for byte.
class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass& StaticClass();
    explicit TGIFUnknownAppExtension(TGIFSubImage& subImage) : TGIFApplicationExtension(subImage) {}

    const TGIFExtensionClass& Class() const override { return StaticClass(); }

    std::vector<TGIFBlock> Blocks;

protected:
    void LoadData(TStream& stream) override;
};

// A frame's extensions, in file order. Its reader takes every consecutive
// "!" block and stops before the first byte that is not one.
class TGIFExtensionList : public TGIFList {
public:
    explicit TGIFExtensionList(TGIFSubImage& subImage);
    TGIFExtension& operator[](int index) const;
    // parent: the frame being read.
    void LoadFromStream(TStream& stream, TPersistent* parent) override;

    // The first extension of the class, or none.
    template <class T>
    T* Find() const
    {
        for (int i = 0; i < Count(); ++i)
            if (auto* e = dynamic_cast<T*>(Item(i)))
                return e;
        return nullptr;
    }

private:
    TGIFSubImage& m_subImage;
};

// The label registry: which class reads a "!" block of a label. Lookups run
// from the last entry to the first, so a later registration wins.
class TExtensionList {
public:
    static TExtensionList& Instance();
    void Add(std::uint8_t label, const TGIFExtensionClass& extensionClass);
    const TGIFExtensionClass* Find(std::uint8_t label) const;

private:
    TExtensionList();
    std::vector<std::pair<std::uint8_t, const TGIFExtensionClass*>> m_entries;
};

// The application registry: which class reads an application extension of
// an identifier (all 11 bytes, case counts). Last entry first, as above.
class TAppExtensionList {
public:
    static TAppExtensionList& Instance();
    void Add(const TGIFApplicationIdentifier& identifier, const TGIFExtensionClass& extensionClass);
    const TGIFExtensionClass* Find(const TGIFApplicationIdentifier& identifier) const;

private:
    TAppExtensionList();
    std::vector<std::pair<TGIFApplicationIdentifier, const TGIFExtensionClass*>> m_entries;
};

// Looks ahead at the stream just after a "!" and answers the class that
// reads the block, or none; the stream is left where it was.
const TGIFExtensionClass* FindExtensionClass(TStream& stream);

} // namespace orvex
