#pragma once

// The GIF picture: an in-memory tree of the file's blocks. The header holds
// the logical screen and the global colour table; every frame holds its
// image descriptor, local colour table, extensions and decoded pixels (one
// colour index per pixel). Extensions live in GIFExtensions.h, the LZW
// decoder in GIFDecoder.h.

#include "Exceptions.h"
#include "GIFDefaults.h"
#include "GIFMaskedBlit.h"
#include "GIFPainter.h"
#include "GIFPaintOptions.h"
#include "Graphics.h"
#include "Persistent.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvex {

class TStream;
class TGIFImage;
class TGIFSubImage;
class TGIFHeader;
class TGIFExtension;
class TGIFGraphicControlExtension;
class TGIFExtensionList;

// The GIF support's failures; the load that meets one is aborted.
class GIFException : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

// The reader's messages, shared by the reader, the extensions and the decoder.
namespace gifmsg {
inline constexpr const char* PrematureEnd = "Premature end of data";
inline constexpr const char* InvalidSignature = "Invalid GIF signature";
inline constexpr const char* UnknownBlockType = "Unknown GIF block type";
inline constexpr const char* ExceedsScreen = "Image exceeds Logical Screen size";
inline constexpr const char* InvalidTrailer = "Invalid Image trailer";
inline constexpr const char* InvalidColorIndex = "Invalid color index";
inline constexpr const char* EmptyColorMap = "Color table is empty";
inline constexpr const char* ImageEmpty = "Image is empty";
inline constexpr const char* InvalidData = "Invalid GIF data";
inline constexpr const char* LoadingMessage = "Loading...";
} // namespace gifmsg

// Raises GIFException with the message.
[[noreturn]] void RaiseGIFError(const QString& message);
[[noreturn]] void RaiseGIFError(const char* message);
// Reads n bytes or raises "Premature end of data".
void ReadExactly(TStream& stream, void* buffer, std::int64_t n);
// Reads one byte without checking that it was there: 0 at the end of the
// stream. Callers that must not run past the end check the position first.
std::uint8_t ReadByteUnchecked(TStream& stream);
// Reads one byte; false at the end of the stream.
bool ReadByte(TStream& stream, std::uint8_t& byte);
// 0 for 0 colours, else the smallest n >= 1 with 2^n >= count.
int ColorsToBitsPerPixel(int count);

// When on, each frame's bitmap is built right after its pixels are decoded.
// Off by default; the program never changes it.
extern bool BuildBitmapsOnLoad;

// The largest frame the reader decodes: 64 megapixels, far beyond any real
// GIF. A file of a few bytes may claim a 65535 x 65535 frame; such a frame is
// refused instead of allocating gigabytes for it.
inline constexpr std::int64_t kMaxFramePixels = std::int64_t(64) * 1024 * 1024;
// The same for all frames of one picture together (512 megapixels): a small
// file may also declare hundreds of large frames.
inline constexpr std::int64_t kMaxPicturePixels = 8 * kMaxFramePixels;
// The limits in force; only the fuzz target lowers them, to keep its runs fast.
extern std::int64_t FramePixelLimit;
extern std::int64_t PicturePixelLimit;

// Warnings of the reader: recoverable irregularities of a file (severity 1).
using TGIFWarningEvent = std::function<void(TPersistent& sender, std::uint8_t severity, const QString& message)>;

// Base of the header, the frames, the extensions and the trailer.
class TGIFItem : public TPersistent {
public:
    explicit TGIFItem(TGIFImage* image) : m_image(image) {}
    TGIFImage* Image() const { return m_image; }

    // 1 stands for "87a", 2 for "89a".
    virtual int Version() const { return 1; }
    // Forwards to the picture, with this item as sender.
    virtual void Warning(std::uint8_t severity, const QString& message);
    void Warning(std::uint8_t severity, const char* message) { Warning(severity, QString::fromLatin1(message)); }

    // The writing side is not part of this program.
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream) = 0;
    void SaveToFile(const QString& fileName);
    void LoadFromFile(const QString& fileName);

protected:
    TGIFImage* m_image;
};

// An ordered list of owned items. Delete frees, Remove only unlinks.
class TGIFList : public TPersistent {
public:
    explicit TGIFList(TGIFImage* image) : m_image(image) {}
    ~TGIFList() override;
    TGIFImage* Image() const { return m_image; }

    virtual void Warning(std::uint8_t severity, const QString& message);
    void Warning(std::uint8_t severity, const char* message) { Warning(severity, QString::fromLatin1(message)); }
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream, TPersistent* parent) = 0;

    int Count() const { return static_cast<int>(m_items.size()); }
    TGIFItem* Item(int index) const { return m_items.at(static_cast<std::size_t>(index)).get(); }
    int Add(std::unique_ptr<TGIFItem> item);
    void Delete(int index);
    // Unlinks the item without freeing it; the caller already owns it (a
    // destructor unlinking itself). Does nothing when the item is not here.
    void Remove(const TGIFItem* item);
    int IndexOf(const TGIFItem* item) const;
    void Clear();

private:
    TGIFImage* m_image;
    std::vector<std::unique_ptr<TGIFItem>> m_items;
};

// The frames of a picture.
class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage& operator[](int index) const;
    TGIFSubImage& SubImage(int index) const { return (*this)[index]; }
    // The block loop: reads frames until the trailer, the end of the stream
    // or an unknown block.
    void LoadFromStream(TStream& stream, TPersistent* parent) override;
};

struct TGIFColor {
    std::uint8_t Red = 0, Green = 0, Blue = 0;
    friend bool operator==(const TGIFColor&, const TGIFColor&) = default;
};

// A colour table. Entries grow in steps of 32 up to 256.
class TGIFColorMap : public TPersistent {
public:
    TGIFColorMap() = default;
    ~TGIFColorMap() override = default;

    const TGIFColor* Data() const { return m_colors.data(); }
    int ColorCount() const { return m_count; }
    int Capacity() const { return static_cast<int>(m_colors.size()); }
    bool Sorted = false;

    // Empties the map and reads count entries (3 bytes each).
    void LoadFromStream(TStream& stream, int count);
    void Clear();
    // Makes room for count entries (see the growth rule above).
    void Allocate(int count);
    // Appends a colour; the writing side and the tests build maps this way.
    int Add(TGIFColor color);
    // red + green * 256 + blue * 65536; an index outside the map warns
    // "Invalid color index" and gives entry 0, or raises "Color table is
    // empty" when there is none.
    TColor Color(int index);
    const TGIFColor& operator[](int index) const { return m_colors.at(static_cast<std::size_t>(index)); }
    int BitsPerPixel() const { return ColorsToBitsPerPixel(m_count); }

    virtual void Warning(std::uint8_t severity, const QString& message) = 0;
    // Runs whenever the entries change and when the map goes away.
    virtual void Changed() {}

private:
    std::vector<TGIFColor> m_colors; // Capacity entries
    int m_count = 0;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
    explicit TGIFGlobalColorMap(TGIFHeader& header) : m_header(header) {}
    ~TGIFGlobalColorMap() override;
    TGIFHeader& Header() const { return m_header; }
    void Warning(std::uint8_t severity, const QString& message) override;
    // The picture drops its palette (the drawing code supplies the body).
    void Changed() override;

private:
    TGIFHeader& m_header;
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
    explicit TGIFLocalColorMap(TGIFSubImage& subImage) : m_subImage(subImage) {}
    ~TGIFLocalColorMap() override;
    TGIFSubImage& SubImage() const { return m_subImage; }
    void Warning(std::uint8_t severity, const QString& message) override;
    // The frame drops its cached palette (the drawing code supplies the body).
    void Changed() override;

private:
    TGIFSubImage& m_subImage;
};

// The 7-byte logical screen descriptor, as in the file.
struct TGIFScreenDescriptor {
    std::uint16_t ScreenWidth = 0;
    std::uint16_t ScreenHeight = 0;
    std::uint8_t PackedFields = 0;
    std::uint8_t BackgroundColorIndex = 0;
    std::uint8_t AspectRatio = 0;
};

class TGIFHeader : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage* image);

    TGIFScreenDescriptor ScreenDescriptor;
    TGIFGlobalColorMap& GlobalColorMap() { return *m_globalColorMap; }
    const TGIFGlobalColorMap& GlobalColorMap() const { return *m_globalColorMap; }

    int Width() const { return ScreenDescriptor.ScreenWidth; }
    int Height() const { return ScreenDescriptor.ScreenHeight; }
    int BackgroundColorIndex() const { return ScreenDescriptor.BackgroundColorIndex; }
    // The global map's colour at the background index.
    TColor BackgroundColor();
    // Recomputes the packed fields from the global map, as a writer would.
    void Prepare();
    void Clear();

    void LoadFromStream(TStream& stream) override;

private:
    std::unique_ptr<TGIFGlobalColorMap> m_globalColorMap;
};

// The 10-byte image descriptor, as in the file.
struct TGIFImageDescriptor {
    std::uint8_t Separator = 0x2C;
    std::uint16_t Left = 0;
    std::uint16_t Top = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t PackedFields = 0;
};

// Packed-field bits of the descriptors.
inline constexpr std::uint8_t kColorTablePresent = 0x80;
inline constexpr std::uint8_t kInterlaced = 0x40;
inline constexpr std::uint8_t kColorTableSizeMask = 0x07;

// One frame: its descriptor, local colour table, extensions and pixels.
class TGIFSubImage : public TGIFItem {
public:
    explicit TGIFSubImage(TGIFImage* image);
    ~TGIFSubImage() override;

    TGIFImageDescriptor Descriptor;
    TGIFLocalColorMap& LocalColorMap() { return *m_localColorMap; }
    const TGIFLocalColorMap& LocalColorMap() const { return *m_localColorMap; }
    TGIFExtensionList& Extensions() { return *m_extensions; }
    const TGIFExtensionList& Extensions() const { return *m_extensions; }
    // Set when a graphic control extension of the frame marks a colour see-through.
    bool Transparent = false;
    // The frame's first graphic control extension, or none.
    TGIFGraphicControlExtension* GraphicControl = nullptr;

    int Left() const { return Descriptor.Left; }
    int Top() const { return Descriptor.Top; }
    int Width() const { return Descriptor.Width; }
    int Height() const { return Descriptor.Height; }
    bool Interlaced() const { return (Descriptor.PackedFields & kInterlaced) != 0; }
    // The local map when it has entries, else the global one when that has
    // entries, else the (empty) local map.
    TGIFColorMap& EffectiveColorMap();
    // The transparent index when the frame is transparent, else 0: the value
    // of pixels that the data never reaches.
    std::uint8_t FillIndex() const;

    // The decoded picture: Width() x Height() colour indices, top row first,
    // no padding. Null with size 0 when there is none.
    std::uint8_t* Pixels() { return m_pixels.get(); }
    const std::uint8_t* Pixels() const { return m_pixels.get(); }
    std::int64_t PixelCount() const { return m_pixelCount; }
    bool Empty() const;
    // Allocates Width() x Height() bytes of value (none when the product is
    // 0); raises GIFException for a frame above FramePixelLimit or
    // when the picture's frames would exceed PicturePixelLimit.
    void AllocatePixels(std::uint8_t value = 0);
    void FreePixels();
    // Allocates when absent, then raises "Image is empty" for a 0-size frame.
    void RequirePixels();

    int Version() const override;
    void Clear();
    void LoadFromStream(TStream& stream) override;

    // ---- frame bitmaps and palettes (the drawing code adds its members here:
    // bitmap, mask, mask-needed flag, cached palette)

    // Frames above this many pixels start their bitmap at 1 bit per pixel, so
    // that nothing of device depth is ever made for them.
    static constexpr std::int64_t kLargeFramePixels = 500000;

    // The frame as a palette bitmap, built on first need and cached; a
    // transparent frame gets its transparency mask with it. None for an
    // empty frame. Reports "Rendering..." progress through the picture.
    TBitmap* FrameBitmap();
    // Whether the frame has a transparency mask; a mask still to be made is
    // made first (with a new bitmap).
    bool HasMask();
    // 1 bit per pixel, 1 where the frame is see-through; or none.
    const TBitmap* TransparencyMask() const { return m_mask.get(); }
    bool MaskNeeded() const { return m_maskNeeded; }
    // The palette the frame bitmap is coloured with; shared, never owned by
    // the caller. Raises "No global or local color table defined" when
    // neither the frame nor the picture has colours.
    TPalettePtr FramePalette();
    // Replaces the cached palette; a bitmap coloured by another palette is
    // dropped and the picture told.
    void SetFramePalette(TPalettePtr value);

    // The two builders behind FrameBitmap: the indices as they are, or
    // dithered to the 216-colour cube. Both may make the mask.
    std::unique_ptr<TBitmap> BuildFrameBitmap();
    std::unique_ptr<TBitmap> BuildDitheredFrameBitmap();
    // The empty bitmap a builder starts from (1 bit per pixel for a large frame).
    static std::unique_ptr<TBitmap> NewFrameBitmap(int width, int height);
    // This frame's starting bitmap; an empty frame's is already whole: its
    // size and palette.
    std::unique_ptr<TBitmap> StartFrameBitmap();

    // Draws the frame where it belongs in rect, the area of the whole
    // picture; with tile, at natural size, repeated over rect.
    void DrawFrame(TCanvas& canvas, const TRect& rect, bool transparent, bool tile);
    // Draws the frame into exactly rect (tile as above). Through its mask when
    // transparent is asked for and the frame has one, else opaque.
    void StretchDrawFrame(TCanvas& canvas, const TRect& rect, bool transparent, bool tile);
    // The frame's share of rect, the area of the whole picture.
    TRect ScaleFrameRect(const TRect& rect) const;
    // How masked drawing copies; tests force the general path.
    TMaskedBlitPath MaskedBlitPath = TMaskedBlitPath::Automatic;

    // Row `row` of the pixels; raises "Invalid pixel coordinates" outside the
    // frame and "Image is empty" for a frame of no pixels.
    std::uint8_t* ScanLine(int row);
    // The index at (x, y), with the same checks.
    std::uint8_t& PixelAt(int x, int y);
    // Moves and resizes the frame; a new size brings new, zero pixels. A
    // picture too small for the frame grows, with warnings.
    void SetBounds(int left, int top, int width, int height);
    // Frees the bitmap (the mask stays) / the mask (which is then needed again).
    void FreeBitmap();
    void FreeMask();

private:
    void ReportRendering(TProgressStage stage, int percent);
    std::unique_ptr<TBitmap> m_bitmap;
    std::unique_ptr<TBitmap> m_mask;
    bool m_maskNeeded = true;
    TPalettePtr m_palette;

public:
    // ---- end of frame bitmaps and palettes

private:
    std::unique_ptr<TGIFLocalColorMap> m_localColorMap;
    std::unique_ptr<TGIFExtensionList> m_extensions;
    std::unique_ptr<std::uint8_t[]> m_pixels;
    std::int64_t m_pixelCount = 0;
};

// The trailer: read and dropped.
class TGIFTrailer : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    void LoadFromStream(TStream& stream) override;
};

// The GIF picture.
class TGIFImage : public TGraphic, public TPersistent {
public:
    TGIFImage();
    ~TGIFImage() override;

    TGIFHeader& Header() { return *m_header; }
    const TGIFHeader& Header() const { return *m_header; }
    TGIFImageList& Frames() { return *m_frames; }
    const TGIFImageList& Frames() const { return *m_frames; }
    TGIFWarningEvent WarningHandler;

    // Replaces the content with the GIF at the stream's position. On failure
    // the stream goes back to where it was and what loaded before the
    // failing block stays.
    void LoadFromStream(TStream& stream) override;
    void Clear();

    int Width() const override { return m_header->Width(); }
    int Height() const override { return m_header->Height(); }
    bool Empty() const override { return m_frames->Count() == 0; }
    // Draws the picture; the drawing code supplies it.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    // The picture's palette; the drawing code supplies it.
    TPalettePtr Palette() const override;

    // 0 without frames, else 1 ("87a") or 2 ("89a") from the frames.
    int Version() const;
    int ColorResolution() const;
    int BitsPerPixel() const;
    TColor BackgroundColor() { return m_header->BackgroundColor(); }

    // Pixels held by all frames together (see PicturePixelLimit).
    std::int64_t PixelTotal() const { return m_pixelTotal; }
    // Calls the WarningHandler when there is one.
    virtual void Warning(TPersistent& sender, std::uint8_t severity, const QString& message);
    // Reports progress through the framework's notification.
    void ReportProgress(TProgressStage stage, int percent, bool redrawNow, const QString& message);

    // ---- frame bitmaps and palettes (the drawing code adds its members here:
    // picture bitmap and palette)

    // The first frame as one bitmap at the picture's size; none without frames.
    TBitmap* PictureBitmap();
    bool HasPictureBitmap() const { return m_pictureBitmap != nullptr; }
    // The picture bitmap for an animation to draw into: made at the picture's
    // size with the picture's palette and no frame drawn, unless one exists.
    TBitmap& NewAnimationBitmap();
    // Drops the picture bitmap, asking the current painter to stop first.
    void FreePictureBitmap();
    // The palette of the picture; raises "No global or local color table
    // defined" when neither the picture nor its first frame has colours.
    TPalettePtr PicturePalette();
    void SetPicturePalette(TPalettePtr value);
    // The logical screen's size; raise "Image width too small for contained
    // frames" (or height) below a frame's extent.
    void SetWidth(int value);
    void SetHeight(int value);
    // Set whenever a frame's or the picture's palette is replaced.
    bool PaletteModified = false;
    // Sends the picture's change notification.
    void NotifyChanged() { Changed(); }

private:
    std::unique_ptr<TBitmap> m_pictureBitmap;
    TPalettePtr m_picturePalette;
    bool m_paletteLookup = false; // guards PicturePalette against itself

public:
    // ---- end of frame bitmaps and palettes

    // ---- animation and drawing settings (the animation code adds its members
    // here: ActivePainters, CurrentPainter, paint options, events)

    // Handed to every painter and used by Draw.
    GifPaintOptions PaintOptions = GifDefaults.DefaultPaintOptions;
    // Animation speed in percent of normal, copied into each new painter: 0
    // holds a threaded painter's frame until it is stopped, below 0 frames
    // follow each other without waiting.
    int SpeedPercent = GifDefaults.DefaultSpeedPercent;
    // Given to each threaded painter before it runs.
    TThreadPriority PainterPriority = GifDefaults.DefaultPainterPriority;
    // Restores frame areas; clNone lets each painter work it out.
    TColor ClearColor = clNone;
    // Copied into each painter right after it is made; they run on the
    // window thread.
    TGIFPainterEvent OnAnimationStart;
    TGIFPainterEvent OnBeforeFrame;
    TGIFPainterEvent OnAfterFrame;
    TGIFPainterEvent OnAnimationLoop;
    TGIFPainterEvent OnAnimationEnd;
    // The time source of the painters this picture starts; the system's
    // clock when unset. Tests and the inspector's render set their own.
    std::shared_ptr<TPainterClock> PainterClock;
    // Carried for the writing side, unused by drawing.
    int ReductionMethod = GifDefaults.DefaultReductionMethod;
    int ReductionBits = GifDefaults.DefaultReductionBits;
    int DitherMethod = GifDefaults.DefaultDitherMethod;
    int CompressionMethod = GifDefaults.DefaultCompressionMethod;

    // Every painter of this picture from its creation until it finishes,
    // guarded by PaintersLock. The lock is re-entrant: the window thread holds
    // it while it waits for a first frame and meanwhile runs a painter's
    // FinishPainter, which takes it again.
    std::vector<TGIFPainter*> ActivePainters;
    std::recursive_mutex& PaintersLock() const { return *m_paintersLock; }
    // The painter that Draw started (its owner slot), or none.
    TGIFPainter* CurrentPainter() const { return m_currentPainter; }

    // Starts a painter for the surface at the rectangle, registered with this
    // picture. A threaded one is returned suspended (BeginRun lets it go); one
    // without a thread runs its whole animation here and none is returned.
    // An empty picture or rectangle starts nothing and clears the slot.
    TGIFPainter* StartPainter(TGIFPainter** ownerSlot, TCanvas& surface, const TRect& rect, GifPaintOptions options);
    // Stops the painter Draw started and waits for it, running its queued
    // steps meanwhile on the window thread; then drops the picture bitmap.
    void StopCurrentPainter();
    // The same for every painter of the picture.
    void StopAllPainters();
    // Whether frames are dithered to the 216-colour cube.
    bool ShouldDither() const;

    // ---- end of animation and drawing settings

private:
    void ReadTrailer(TStream& stream);

    // ---- animation and drawing state
    void PlaceBitmap(TCanvas& canvas, const TRect& rect);
    // Serves the window thread until the current painter has drawn its first
    // frame, or ended, or this picture has gone (alive expired).
    void WaitForFirstFrame(const std::weak_ptr<int>& alive);
    // Stops every painter and lets those still running further up the
    // stack (painters without a thread) forget this picture.
    void StopAndDetachPainters();
    // Shared, so that a draw still holding it outlives a picture that a
    // pumped message destroyed.
    std::shared_ptr<std::recursive_mutex> m_paintersLock = std::make_shared<std::recursive_mutex>();
    TGIFPainter* m_currentPainter = nullptr;
    bool m_drawing = false;
    // Expires with the picture: code up the stack of a painter without a
    // thread learns from it that a pumped message destroyed the picture.
    std::shared_ptr<int> m_lifeToken = std::make_shared<int>(0);
    // ---- end of animation and drawing state

    friend class TGIFSubImage; // keeps m_pixelTotal
    std::unique_ptr<TGIFHeader> m_header;
    std::unique_ptr<TGIFImageList> m_frames;
    std::int64_t m_pixelTotal = 0;
};

} // namespace orvex
