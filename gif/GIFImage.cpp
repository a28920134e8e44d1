#include "GIFImage.h"

#include "GIFDecoder.h"
#include "GIFExtensions.h"
#include "Streams.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvex {

bool BuildBitmapsOnLoad = false;
std::int64_t FramePixelLimit = kMaxFramePixels;
std::int64_t PicturePixelLimit = kMaxPicturePixels;

// ---- shared helpers

void RaiseGIFError(const QString& message)
{
    throw GIFException(message);
}

void RaiseGIFError(const char* message)
{
    throw GIFException(QString::fromLatin1(message));
}

void ReadExactly(TStream& stream, void* buffer, std::int64_t n)
{
    if (n > 0 && stream.Read(buffer, n) != n)
        RaiseGIFError(gifmsg::PrematureEnd);
}

std::uint8_t ReadByteUnchecked(TStream& stream)
{
    std::uint8_t byte = 0;
    stream.Read(&byte, 1);
    return byte;
}

bool ReadByte(TStream& stream, std::uint8_t& byte)
{
    return stream.Read(&byte, 1) == 1;
}

int ColorsToBitsPerPixel(int count)
{
    if (count <= 0)
        return 0;
    int bits = 1;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

// ---- TGIFItem

void TGIFItem::Warning(std::uint8_t severity, const QString& message)
{
    if (m_image)
        m_image->Warning(*this, severity, message);
}

void TGIFItem::SaveToStream(TStream&)
{
    // The writing side is not part of this program.
}

void TGIFItem::SaveToFile(const QString& fileName)
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

void TGIFItem::LoadFromFile(const QString& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

// ---- TGIFList

TGIFList::~TGIFList()
{
    Clear();
}

void TGIFList::Warning(std::uint8_t severity, const QString& message)
{
    if (m_image)
        m_image->Warning(*this, severity, message);
}

void TGIFList::SaveToStream(TStream& stream)
{
    for (auto& item : m_items)
        item->SaveToStream(stream);
}

int TGIFList::Add(std::unique_ptr<TGIFItem> item)
{
    m_items.push_back(std::move(item));
    return Count() - 1;
}

void TGIFList::Delete(int index)
{
    // Unlink first: the item's destructor looks for itself in this list.
    std::unique_ptr<TGIFItem> item = std::move(m_items.at(static_cast<std::size_t>(index)));
    m_items.erase(m_items.begin() + index);
    item.reset();
}

void TGIFList::Remove(const TGIFItem* item)
{
    const int index = IndexOf(item);
    if (index < 0)
        return;
    // The caller owns the item already (it is being destroyed): give up ownership.
    (void)m_items[static_cast<std::size_t>(index)].release();
    m_items.erase(m_items.begin() + index);
}

int TGIFList::IndexOf(const TGIFItem* item) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == item)
            return static_cast<int>(i);
    return -1;
}

void TGIFList::Clear()
{
    // Front to back, as deleting the first item until none is left would,
    // but without moving the rest of the list down after each: a file may
    // hold a million frames.
    std::vector<std::unique_ptr<TGIFItem>> items;
    items.swap(m_items);
    for (auto& item : items)
        item.reset();
}

// ---- TGIFImageList

TGIFSubImage& TGIFImageList::operator[](int index) const
{
    return static_cast<TGIFSubImage&>(*Item(index));
}

void TGIFImageList::LoadFromStream(TStream& stream, TPersistent*)
{
    TGIFImage* image = Image();
    std::uint8_t byte = 0;
    for (;;) {
        do {
            if (!ReadByte(stream, byte))
                return;
        } while (byte == 0);
        stream.Seek(-1, TSeekOrigin::soCurrent);
        if (byte == kTrailer)
            return;
        if (byte != kExtensionIntroducer && byte != kImageSeparator) {
            Warning(1, gifmsg::UnknownBlockType);
            return;
        }
        auto frame = std::make_unique<TGIFSubImage>(image);
        frame->LoadFromStream(stream); // a failure frees the frame
        Add(std::move(frame));
        if (image) {
            const std::int64_t size = stream.Size();
            const int percent =
                size > 0 ? static_cast<int>(std::llround(double(stream.Position()) * 100.0 / double(size))) : 100;
            image->ReportProgress(TProgressStage::psRunning, percent, BuildBitmapsOnLoad,
                                  QString::fromLatin1(gifmsg::LoadingMessage));
        }
    }
}

// ---- colour maps

void TGIFColorMap::LoadFromStream(TStream& stream, int count)
{
    m_count = 0;
    Allocate(count);
    ReadExactly(stream, m_colors.data(), std::int64_t(count) * 3);
    m_count = count;
    Changed();
}

void TGIFColorMap::Clear()
{
    m_colors.clear();
    m_colors.shrink_to_fit();
    m_count = 0;
    Sorted = false;
    Changed();
}

void TGIFColorMap::Allocate(int count)
{
    if (count < Capacity())
        return;
    int capacity = count <= 16 ? 16 : (count + 31) / 32 * 32;
    capacity = std::min(capacity, 256);
    m_colors.resize(static_cast<std::size_t>(capacity));
}

int TGIFColorMap::Add(TGIFColor color)
{
    if (m_count >= 256)
        RaiseGIFError(QStringLiteral("Color table overflow"));
    Allocate(m_count + 1);
    m_colors[static_cast<std::size_t>(m_count)] = color;
    ++m_count;
    Changed();
    return m_count - 1;
}

TColor TGIFColorMap::Color(int index)
{
    if (index < 0 || index >= m_count) {
        Warning(1, QString::fromLatin1(gifmsg::InvalidColorIndex));
        if (m_count == 0)
            RaiseGIFError(gifmsg::EmptyColorMap);
        index = 0;
    }
    const TGIFColor& c = m_colors[static_cast<std::size_t>(index)];
    return TColor(c.Red) | (TColor(c.Green) << 8) | (TColor(c.Blue) << 16);
}

TGIFGlobalColorMap::~TGIFGlobalColorMap()
{
    Changed();
}

void TGIFGlobalColorMap::Warning(std::uint8_t severity, const QString& message)
{
    if (TGIFImage* image = m_header.Image())
        image->Warning(*this, severity, message);
}

void TGIFGlobalColorMap::Changed()
{
    if (TGIFImage* image = m_header.Image())
        image->SetPicturePalette(nullptr);
}

TGIFLocalColorMap::~TGIFLocalColorMap()
{
    Changed();
}

void TGIFLocalColorMap::Warning(std::uint8_t severity, const QString& message)
{
    if (TGIFImage* image = m_subImage.Image())
        image->Warning(*this, severity, message);
}

void TGIFLocalColorMap::Changed()
{
    m_subImage.SetFramePalette(nullptr);
}

// ---- TGIFHeader

TGIFHeader::TGIFHeader(TGIFImage* image)
    : TGIFItem(image), m_globalColorMap(std::make_unique<TGIFGlobalColorMap>(*this))
{
}

TColor TGIFHeader::BackgroundColor()
{
    return m_globalColorMap->Color(ScreenDescriptor.BackgroundColorIndex);
}

void TGIFHeader::Prepare()
{
    std::uint8_t packed = ScreenDescriptor.PackedFields & 0x70; // keep the resolution bits
    if (m_globalColorMap->ColorCount() > 0) {
        const int bits = std::max(m_globalColorMap->BitsPerPixel(), 1);
        packed |= kColorTablePresent | static_cast<std::uint8_t>(bits - 1);
        if (m_globalColorMap->Sorted)
            packed |= 0x08;
    }
    ScreenDescriptor.PackedFields = packed;
}

void TGIFHeader::Clear()
{
    m_globalColorMap->Clear();
    ScreenDescriptor.ScreenWidth = 0;
    ScreenDescriptor.ScreenHeight = 0;
    Prepare();
}

namespace {

// The bytes before the first zero byte among the first three, upper-cased,
// compared with "GIF".
bool IsGIFSignature(const std::uint8_t (&signature)[6])
{
    static const char kGIF[] = "GIF";
    int length = 0;
    while (length < 3 && signature[length] != 0)
        ++length;
    if (length != 3)
        return false;
    for (int i = 0; i < 3; ++i) {
        const char c = static_cast<char>(signature[i]);
        const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != kGIF[i])
            return false;
    }
    return true;
}

} // namespace

void TGIFHeader::LoadFromStream(TStream& stream)
{
    const std::int64_t start = stream.Position();
    std::uint8_t signature[6];
    ReadExactly(stream, signature, 6);
    if (!IsGIFSignature(signature)) {
        // Some files carry four bytes of their own in front of the GIF.
        stream.SetPosition(start);
        stream.Seek(4, TSeekOrigin::soCurrent);
        ReadExactly(stream, signature, 6);
        if (!IsGIFSignature(signature))
            RaiseGIFError(gifmsg::InvalidSignature);
    }
    std::uint8_t screen[7];
    ReadExactly(stream, screen, 7);
    ScreenDescriptor.ScreenWidth = static_cast<std::uint16_t>(screen[0] | (screen[1] << 8));
    ScreenDescriptor.ScreenHeight = static_cast<std::uint16_t>(screen[2] | (screen[3] << 8));
    ScreenDescriptor.PackedFields = screen[4];
    ScreenDescriptor.BackgroundColorIndex = screen[5];
    ScreenDescriptor.AspectRatio = screen[6];
    if (ScreenDescriptor.PackedFields & kColorTablePresent)
        m_globalColorMap->LoadFromStream(stream, 2 << (ScreenDescriptor.PackedFields & kColorTableSizeMask));
    else
        m_globalColorMap->Clear();
}

// ---- TGIFSubImage

TGIFSubImage::TGIFSubImage(TGIFImage* image)
    : TGIFItem(image),
      m_localColorMap(std::make_unique<TGIFLocalColorMap>(*this)),
      m_extensions(std::make_unique<TGIFExtensionList>(*this))
{
}

TGIFSubImage::~TGIFSubImage()
{
    if (m_image)
        m_image->Frames().Remove(this);
    Clear();
    m_extensions.reset();
    m_localColorMap.reset();
}

TGIFColorMap& TGIFSubImage::EffectiveColorMap()
{
    if (m_localColorMap->ColorCount() > 0)
        return *m_localColorMap;
    if (m_image && m_image->Header().GlobalColorMap().ColorCount() > 0)
        return m_image->Header().GlobalColorMap();
    return *m_localColorMap;
}

std::uint8_t TGIFSubImage::FillIndex() const
{
    return Transparent && GraphicControl ? GraphicControl->TransparentIndex() : 0;
}

bool TGIFSubImage::Empty() const
{
    return !m_pixels || m_pixelCount == 0 || Width() == 0 || Height() == 0;
}

void TGIFSubImage::AllocatePixels(std::uint8_t value)
{
    FreePixels();
    const std::int64_t count = std::int64_t(Width()) * Height();
    if (count == 0)
        return;
    if (count > FramePixelLimit)
        RaiseGIFError(QStringLiteral("Image too large: %1 x %2 pixels").arg(Width()).arg(Height()));
    if (m_image && m_image->m_pixelTotal + count > PicturePixelLimit)
        RaiseGIFError(QStringLiteral("Image too large: the frames hold more than %1 megapixels")
                          .arg(PicturePixelLimit / (1024 * 1024)));
    m_pixels.reset(new std::uint8_t[static_cast<std::size_t>(count)]);
    std::memset(m_pixels.get(), value, static_cast<std::size_t>(count));
    m_pixelCount = count;
    if (m_image)
        m_image->m_pixelTotal += count;
}

void TGIFSubImage::FreePixels()
{
    if (m_image)
        m_image->m_pixelTotal -= m_pixelCount;
    m_pixels.reset();
    m_pixelCount = 0;
}

void TGIFSubImage::RequirePixels()
{
    if (!m_pixels)
        AllocatePixels();
    if (m_pixelCount == 0)
        RaiseGIFError(gifmsg::ImageEmpty);
}

int TGIFSubImage::Version() const
{
    return (m_localColorMap->Sorted || m_extensions->Count() > 0) ? 2 : 1;
}

void TGIFSubImage::Clear()
{
    FreeBitmap();
    FreeMask();
    m_extensions->Clear();
    m_localColorMap->Clear();
    FreePixels();
    Descriptor.Width = 0;
    Descriptor.Height = 0;
    Transparent = false;
    GraphicControl = nullptr;
}

void TGIFSubImage::LoadFromStream(TStream& stream)
{
    Clear();
    m_extensions->LoadFromStream(stream, this);

    std::uint8_t next = 0;
    if (!ReadByte(stream, next))
        return;
    stream.Seek(-1, TSeekOrigin::soCurrent);
    if (next == kTrailer || next == 0)
        return; // a frame of extensions only

    std::uint8_t d[10];
    ReadExactly(stream, d, 10);
    Descriptor.Separator = d[0];
    Descriptor.Left = static_cast<std::uint16_t>(d[1] | (d[2] << 8));
    Descriptor.Top = static_cast<std::uint16_t>(d[3] | (d[4] << 8));
    Descriptor.Width = static_cast<std::uint16_t>(d[5] | (d[6] << 8));
    Descriptor.Height = static_cast<std::uint16_t>(d[7] | (d[8] << 8));
    Descriptor.PackedFields = d[9];

    if (Descriptor.Width == 0 || Descriptor.Height == 0) {
        // A frame without a size takes the logical screen's.
        if (m_image) {
            Descriptor.Width = static_cast<std::uint16_t>(m_image->Header().Width());
            Descriptor.Height = static_cast<std::uint16_t>(m_image->Header().Height());
        }
        Warning(1, gifmsg::ExceedsScreen);
    }
    if (Descriptor.PackedFields & kColorTablePresent)
        m_localColorMap->LoadFromStream(stream, 2 << (Descriptor.PackedFields & kColorTableSizeMask));

    DecodeFrameData(*this, stream);
    if (BuildBitmapsOnLoad)
        FrameBitmap();
}

// ---- TGIFTrailer

void TGIFTrailer::LoadFromStream(TStream& stream)
{
    std::uint8_t byte = 0;
    if (ReadByte(stream, byte) && byte != kTrailer)
        Warning(1, gifmsg::InvalidTrailer);
}

// ---- TGIFImage

TGIFImage::TGIFImage()
    : m_header(std::make_unique<TGIFHeader>(this)), m_frames(std::make_unique<TGIFImageList>(this))
{
    Clear();
}

TGIFImage::~TGIFImage()
{
    StopAndDetachPainters();
    Clear();
    m_frames.reset();
    m_header.reset();
}

void TGIFImage::Clear()
{
    // The drawing code frees the cached picture bitmap and palette.
    StopAllPainters();
    m_frames->Clear();
    m_header->Clear();
}

TPalettePtr TGIFImage::Palette() const
{
    // Looking the palette up caches it: the picture's own business.
    return const_cast<TGIFImage*>(this)->PicturePalette();
}

int TGIFImage::Version() const
{
    int version = 0;
    for (int i = 0; i < m_frames->Count(); ++i) {
        version = std::max(version, (*m_frames)[i].Version());
        if (version >= 2)
            break;
    }
    return version;
}

int TGIFImage::ColorResolution() const
{
    int resolution = m_header->GlobalColorMap().BitsPerPixel() - 1;
    for (int i = 0; i < m_frames->Count(); ++i)
        resolution = std::max(resolution, (*m_frames)[i].LocalColorMap().BitsPerPixel() - 1);
    return resolution;
}

int TGIFImage::BitsPerPixel() const
{
    int bits = m_header->GlobalColorMap().BitsPerPixel();
    for (int i = 0; i < m_frames->Count(); ++i)
        bits = std::max(bits, (*m_frames)[i].LocalColorMap().BitsPerPixel());
    return bits;
}

void TGIFImage::Warning(TPersistent& sender, std::uint8_t severity, const QString& message)
{
    if (WarningHandler)
        WarningHandler(sender, severity, message);
}

void TGIFImage::ReportProgress(TProgressStage stage, int percent, bool redrawNow, const QString& message)
{
    Progress(stage, percent, redrawNow, TRect{}, message);
}

void TGIFImage::LoadFromStream(TStream& stream)
{
    const QString loading = QString::fromLatin1(gifmsg::LoadingMessage);
    ReportProgress(TProgressStage::psStarting, 0, false, loading);
    try {
        Clear();
        const std::int64_t start = stream.Position();
        try {
            m_header->LoadFromStream(stream);
            m_frames->LoadFromStream(stream, this);
            ReadTrailer(stream);
        } catch (...) {
            // What loaded before the failing block stays; the stream goes
            // back to where the load began.
            stream.SetPosition(start);
            throw;
        }
    } catch (...) {
        ReportProgress(TProgressStage::psEnding, 0, true, loading);
        throw;
    }
    ReportProgress(TProgressStage::psEnding, 100, true, loading);
}

void TGIFImage::ReadTrailer(TStream& stream)
{
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(stream);
}

} // namespace orvex
