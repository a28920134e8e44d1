#include "GIFExtensions.h"

#include "Streams.h"

#include <algorithm>
#include <cstring>

namespace orvex {

namespace {

const char* const kInvalidIntroducer = "Invalid extension introducer";
const char* const kUnknownExtension = "Unknown extension type";
const char* const kLabelMismatch = "Internal error: Extension Instance does not match Extension Label";
const char* const kUnsupportedAppBlockSize = "Unsupported Application Extension block size";

// A class whose instances are T.
template <class T>
class TExtensionClassOf : public TGIFExtensionClass {
public:
    explicit TExtensionClassOf(const char* name) : m_name(name) {}
    const char* Name() const override { return m_name; }
    std::unique_ptr<TGIFExtension> Create(TGIFSubImage& subImage) const override
    {
        return std::make_unique<T>(subImage);
    }

private:
    const char* m_name;
};

// The application extension classes peek at the block size and the
// identifier to name the class that reads the data.
template <class T>
class TApplicationClassOf : public TExtensionClassOf<T> {
public:
    using TExtensionClassOf<T>::TExtensionClassOf;
    const TGIFExtensionClass* GetExtensionClass(TStream& stream) const override;
};

// The generic application extension has no data reader; it is only ever
// a step of the look-ahead, never instantiated.
class TAbstractApplicationClass : public TGIFExtensionClass {
public:
    const char* Name() const override { return "TGIFApplicationExtension"; }
    std::unique_ptr<TGIFExtension> Create(TGIFSubImage&) const override
    {
        // The look-ahead never answers this class (see GetExtensionClass).
        RaiseGIFError(kUnknownExtension);
    }
    const TGIFExtensionClass* GetExtensionClass(TStream& stream) const override;
};

const TGIFExtensionClass* ApplicationSubClass(const TGIFExtensionClass& self, TStream& stream)
{
    const std::int64_t start = stream.Position();
    std::uint8_t size = 0;
    if (!ReadByte(stream, size))
        return nullptr;
    if (size == 10) {
        std::uint8_t identifier[10];
        if (stream.Read(identifier, 10) != 10)
            return nullptr;
        return &TGIFUnknownAppExtension::StaticClass();
    }
    if (size >= 11) {
        TGIFApplicationIdentifier identifier{};
        if (stream.Read(identifier.data(), 11) == 11) {
            if (size > 11) {
                // A longer block is looked up on its first 11 bytes, and the
                // look-ahead moves past the rest of it, so that the answered
                // class does not take the block's bytes for a block size.
                stream.Seek(size - 11, TSeekOrigin::soCurrent);
            }
            const TGIFExtensionClass* found = TAppExtensionList::Instance().Find(identifier);
            return found ? found : &TGIFUnknownAppExtension::StaticClass();
        }
    }
    stream.SetPosition(start);
    // The generic class must never be instantiated: it cannot read data.
    if (&self == &TGIFApplicationExtension::StaticClass())
        return &TGIFUnknownAppExtension::StaticClass();
    return &self;
}

template <class T>
const TGIFExtensionClass* TApplicationClassOf<T>::GetExtensionClass(TStream& stream) const
{
    return ApplicationSubClass(*this, stream);
}

const TGIFExtensionClass* TAbstractApplicationClass::GetExtensionClass(TStream& stream) const
{
    return ApplicationSubClass(*this, stream);
}

} // namespace

// ---- classes

const TGIFExtensionClass* TGIFExtensionClass::GetExtensionClass(TStream&) const
{
    return this;
}

const TGIFExtensionClass& TGIFGraphicControlExtension::StaticClass()
{
    static const TExtensionClassOf<TGIFGraphicControlExtension> c("TGIFGraphicControlExtension");
    return c;
}

const TGIFExtensionClass& TGIFTextExtension::StaticClass()
{
    static const TExtensionClassOf<TGIFTextExtension> c("TGIFTextExtension");
    return c;
}

const TGIFExtensionClass& TGIFCommentExtension::StaticClass()
{
    static const TExtensionClassOf<TGIFCommentExtension> c("TGIFCommentExtension");
    return c;
}

const TGIFExtensionClass& TGIFApplicationExtension::StaticClass()
{
    static const TAbstractApplicationClass c;
    return c;
}

const TGIFExtensionClass& TGIFAppExtNSLoop::StaticClass()
{
    static const TApplicationClassOf<TGIFAppExtNSLoop> c("TGIFAppExtNSLoop");
    return c;
}

const TGIFExtensionClass& TGIFUnknownAppExtension::StaticClass()
{
    static const TApplicationClassOf<TGIFUnknownAppExtension> c("TGIFUnknownAppExtension");
    return c;
}

TGIFApplicationIdentifier MakeApplicationIdentifier(const char (&text)[12])
{
    TGIFApplicationIdentifier identifier{};
    std::memcpy(identifier.data(), text, 11);
    return identifier;
}

// ---- registries

TExtensionList::TExtensionList()
{
    Add(bsPlainTextExtension, TGIFTextExtension::StaticClass());
    Add(bsGraphicControlExtension, TGIFGraphicControlExtension::StaticClass());
    Add(bsCommentExtension, TGIFCommentExtension::StaticClass());
    Add(bsApplicationExtension, TGIFApplicationExtension::StaticClass());
}

TExtensionList& TExtensionList::Instance()
{
    static TExtensionList list;
    return list;
}

void TExtensionList::Add(std::uint8_t label, const TGIFExtensionClass& extensionClass)
{
    m_entries.emplace_back(label, &extensionClass);
}

const TGIFExtensionClass* TExtensionList::Find(std::uint8_t label) const
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (it->first == label)
            return it->second;
    return nullptr;
}

TAppExtensionList::TAppExtensionList()
{
    Add(MakeApplicationIdentifier("NETSCAPE2.0"), TGIFAppExtNSLoop::StaticClass());
    Add(MakeApplicationIdentifier("ANIMEXTS1.0"), TGIFAppExtNSLoop::StaticClass());
}

TAppExtensionList& TAppExtensionList::Instance()
{
    static TAppExtensionList list;
    return list;
}

void TAppExtensionList::Add(const TGIFApplicationIdentifier& identifier, const TGIFExtensionClass& extensionClass)
{
    m_entries.emplace_back(identifier, &extensionClass);
}

const TGIFExtensionClass* TAppExtensionList::Find(const TGIFApplicationIdentifier& identifier) const
{
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (it->first == identifier)
            return it->second;
    return nullptr;
}

const TGIFExtensionClass* FindExtensionClass(TStream& stream)
{
    const std::int64_t start = stream.Position();
    std::uint8_t label = 0;
    if (!ReadByte(stream, label))
        return nullptr;
    const TGIFExtensionClass* found = TExtensionList::Instance().Find(label);
    while (found) {
        const TGIFExtensionClass* sub = found->GetExtensionClass(stream);
        if (sub == found)
            break;
        found = sub;
    }
    stream.SetPosition(start);
    return found;
}

// ---- TGIFExtension

TGIFExtension::TGIFExtension(TGIFSubImage& subImage) : TGIFItem(subImage.Image()), m_subImage(subImage) {}

TGIFExtension::~TGIFExtension()
{
    m_subImage.Extensions().Remove(this);
}

void TGIFExtension::ReadIntroducer(TStream& stream)
{
    std::uint8_t head[2];
    ReadExactly(stream, head, 2);
    if (head[0] != kExtensionIntroducer)
        RaiseGIFError(kInvalidIntroducer);
    if (head[1] != ExtensionType())
        RaiseGIFError(kLabelMismatch);
}

// ---- graphic control

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage& subImage) : TGIFExtension(subImage)
{
    if (!subImage.GraphicControl)
        subImage.GraphicControl = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (Transparent())
        SubImage().Transparent = false;
    if (SubImage().GraphicControl == this)
        SubImage().GraphicControl = nullptr;
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream)
{
    ReadIntroducer(stream);
    std::uint8_t bytes[6];
    const std::int64_t got = stream.Read(bytes, 6);
    // Keep what arrived; the rest keeps its previous value.
    std::uint8_t fields[6] = {Data.BlockSize,
                              Data.PackedFields,
                              static_cast<std::uint8_t>(Data.DelayTime & 0xFF),
                              static_cast<std::uint8_t>(Data.DelayTime >> 8),
                              Data.TransparentColorIndex,
                              Data.Terminator};
    for (std::int64_t i = 0; i < std::max<std::int64_t>(got, 0); ++i)
        fields[i] = bytes[i];
    Data.BlockSize = fields[0];
    Data.PackedFields = fields[1];
    Data.DelayTime = static_cast<std::uint16_t>(fields[2] | (fields[3] << 8));
    Data.TransparentColorIndex = fields[4];
    Data.Terminator = fields[5];
    if (got < 6) {
        Warning(1, gifmsg::PrematureEnd);
        return;
    }
    if (Transparent())
        SubImage().Transparent = true;
}

void TGIFGraphicControlExtension::SetTransparent(bool value)
{
    Data.PackedFields = static_cast<std::uint8_t>(value ? (Data.PackedFields | 0x01) : (Data.PackedFields & ~0x01));
    SubImage().Transparent = value;
}

void TGIFGraphicControlExtension::SetTransparentIndex(std::uint8_t index)
{
    TGIFColorMap& map = SubImage().EffectiveColorMap();
    if (map.ColorCount() > 0 && index >= map.ColorCount()) {
        Warning(1, gifmsg::InvalidColorIndex);
        index = 0;
    }
    Data.TransparentColorIndex = index;
}

void TGIFGraphicControlExtension::SetDisposal(TFrameDisposal value)
{
    Data.PackedFields = static_cast<std::uint8_t>((Data.PackedFields & ~0x1C) | ((value & 0x07) << 2));
}

// ---- text

namespace {

// Sub-blocks of text up to the terminator, one line each (up to a 0 byte).
// A missing size byte ends the text without a word.
void ReadTextLines(TStream& stream, std::vector<QByteArray>& lines)
{
    lines.clear();
    std::uint8_t size = 0;
    std::uint8_t buffer[255];
    while (ReadByte(stream, size) && size != 0) {
        ReadExactly(stream, buffer, size);
        const auto* end = static_cast<const std::uint8_t*>(std::memchr(buffer, 0, size));
        const int length = end ? static_cast<int>(end - buffer) : size;
        lines.emplace_back(reinterpret_cast<const char*>(buffer), length);
    }
}

} // namespace

void TGIFTextExtension::LoadFromStream(TStream& stream)
{
    ReadIntroducer(stream);
    std::uint8_t b[13];
    ReadExactly(stream, b, 13);
    Data.BlockSize = b[0];
    Data.Left = static_cast<std::uint16_t>(b[1] | (b[2] << 8));
    Data.Top = static_cast<std::uint16_t>(b[3] | (b[4] << 8));
    Data.Width = static_cast<std::uint16_t>(b[5] | (b[6] << 8));
    Data.Height = static_cast<std::uint16_t>(b[7] | (b[8] << 8));
    Data.CellWidth = b[9];
    Data.CellHeight = b[10];
    Data.TextFGColorIndex = b[11];
    Data.TextBGColorIndex = b[12];
    ReadTextLines(stream, Lines);
}

void TGIFCommentExtension::LoadFromStream(TStream& stream)
{
    ReadIntroducer(stream);
    ReadTextLines(stream, Lines);
}

// ---- application extensions

void TGIFApplicationExtension::LoadFromStream(TStream& stream)
{
    ReadIntroducer(stream);
    std::uint8_t size = 0;
    // The block size must be there: past the end there is nothing to read.
    if (!ReadByte(stream, size))
        RaiseGIFError(gifmsg::PrematureEnd);
    if (size < 10)
        RaiseGIFError(kUnsupportedAppBlockSize);
    ReadExactly(stream, Identifier.data(), 11);
    // Size 10: the identifier's last byte is the byte after the block, and
    // the data starts right after the block. Larger blocks: skip the rest.
    stream.Seek(std::int64_t(size) - 11, TSeekOrigin::soCurrent);
    LoadData(stream);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage& subImage) : TGIFApplicationExtension(subImage)
{
    Identifier = MakeApplicationIdentifier("NETSCAPE2.0");
}

void TGIFAppExtNSLoop::LoadData(TStream& stream)
{
    // A missing size byte ends the data as it ends a text; a sub-block cut
    // short is a short read.
    std::uint8_t size = 0;
    while (ReadByte(stream, size) && size != 0) {
        std::uint8_t identifier = 0;
        if (!ReadByte(stream, identifier))
            RaiseGIFError(gifmsg::PrematureEnd);
        int rest = size - 1;
        if ((identifier & 0x07) == 1) {
            if (rest < 2)
                RaiseGIFError(gifmsg::InvalidData);
            std::uint8_t b[2];
            ReadExactly(stream, b, 2);
            LoopCount = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
            rest -= 2;
        } else if ((identifier & 0x07) == 2) {
            if (rest < 4)
                RaiseGIFError(gifmsg::InvalidData);
            std::uint8_t b[4];
            ReadExactly(stream, b, 4);
            BufferSize = std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
                         (std::uint32_t(b[3]) << 24);
            rest -= 4;
        }
        if (rest > 0)
            stream.Seek(rest, TSeekOrigin::soCurrent);
    }
}

void TGIFUnknownAppExtension::LoadData(TStream& stream)
{
    Blocks.clear();
    std::uint8_t size = 0;
    while (ReadByte(stream, size) && size != 0) {
        TGIFBlock block;
        block.Size = size;
        block.Data.resize(size);
        ReadExactly(stream, block.Data.data(), size);
        Blocks.push_back(std::move(block));
    }
}

// ---- TGIFExtensionList

TGIFExtensionList::TGIFExtensionList(TGIFSubImage& subImage) : TGIFList(subImage.Image()), m_subImage(subImage) {}

TGIFExtension& TGIFExtensionList::operator[](int index) const
{
    return static_cast<TGIFExtension&>(*Item(index));
}

void TGIFExtensionList::LoadFromStream(TStream& stream, TPersistent*)
{
    std::uint8_t byte = 0;
    if (!ReadByte(stream, byte))
        return;
    while (byte != kImageSeparator && byte != kTrailer) {
        if (byte != kExtensionIntroducer) {
            Warning(1, kInvalidIntroducer);
            stream.Seek(-1, TSeekOrigin::soCurrent);
            return;
        }
        const TGIFExtensionClass* found = FindExtensionClass(stream);
        if (!found)
            RaiseGIFError(kUnknownExtension);
        stream.Seek(-1, TSeekOrigin::soCurrent);
        std::unique_ptr<TGIFExtension> extension = found->Create(m_subImage);
        extension->LoadFromStream(stream); // a failure frees the extension
        Add(std::move(extension));
        if (!ReadByte(stream, byte))
            return;
    }
    stream.Seek(-1, TSeekOrigin::soCurrent);
}

} // namespace orvex
