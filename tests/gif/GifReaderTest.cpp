// The stream reader: signature, screen, colour tables, the block loop, the
// trailer, warnings, progress, and what a failed load leaves behind.
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GifLoad.h"
#include "GifWriter.h"
#include "Streams.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

namespace {

const QString kPrematureEnd = QStringLiteral("Premature end of data");

FrameSpec Ramp(int width, int height, int colors)
{
    return MakeFrame(width, height, [=](int x, int y) { return (x + y * width) % colors; });
}

Bytes OneFrameGif(int width = 3, int height = 2)
{
    GifWriter w;
    w.Header(width, height, TestColors(4)).Frame(Ramp(width, height, 4)).Trailer();
    return w.Data();
}

} // namespace

TEST(GifReader, AHeaderAndTrailerMakeAnEmptyPictureOfTheScreenSize)
{
    GifWriter w;
    w.Header(320, 200).Trailer();
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.isEmpty());
    EXPECT_TRUE(l.Image->Empty());
    EXPECT_EQ(l.Image->Version(), 0);
    EXPECT_EQ(l.Image->Width(), 320);
    EXPECT_EQ(l.Image->Height(), 200);
    EXPECT_EQ(l.Image->Header().GlobalColorMap().ColorCount(), 0);
    EXPECT_EQ(l.EndPosition, std::int64_t(w.Size())); // just after the trailer
}

TEST(GifReader, SignatureIsCaseInsensitiveAndTheVersionIsIgnored)
{
    for (const char* signature : {"gif89a", "GiF87a", "GIFxyz", "GIF\x00\x00\x00"}) {
        GifWriter w;
        Bytes bytes = OneFrameGif();
        std::copy(signature, signature + 6, bytes.begin());
        Loaded l = LoadGif(bytes);
        EXPECT_EQ(l.Error, QString()) << signature;
        EXPECT_EQ(l.Image->Frames().Count(), 1) << signature;
    }
    Bytes bytes = OneFrameGif();
    bytes[1] = 0; // "G\0F": the bytes before the zero are only "G"
    EXPECT_EQ(LoadGif(bytes).Error, QStringLiteral("Invalid GIF signature"));
}

TEST(GifReader, AGifMayStartAfterFourBytesButNowhereElse)
{
    for (int offset = 0; offset <= 6; ++offset) {
        Bytes bytes(static_cast<std::size_t>(offset), 0x55);
        const Bytes gif = OneFrameGif();
        bytes.insert(bytes.end(), gif.begin(), gif.end());
        Loaded l = LoadGif(bytes);
        if (offset == 0 || offset == 4) {
            EXPECT_EQ(l.Error, QString()) << offset;
            EXPECT_EQ(l.Image->Frames().Count(), 1);
        } else {
            EXPECT_EQ(l.Error, QStringLiteral("Invalid GIF signature")) << offset;
            EXPECT_EQ(l.EndPosition, 0) << "a refused load rewinds the stream";
        }
    }
}

TEST(GifReader, ColourTableSizeCodesReadTwoToTwoHundredFiftySixEntries)
{
    for (int code = 0; code <= 7; ++code) {
        const int count = 2 << code;
        GifWriter w;
        w.Header(1, 1, TestColors(count)).Trailer();
        Loaded l = LoadGif(w.Data());
        ASSERT_EQ(l.Error, QString());
        const TGIFColorMap& map = l.Image->Header().GlobalColorMap();
        EXPECT_EQ(map.ColorCount(), count);
        EXPECT_GE(map.Capacity(), count);
        EXPECT_FALSE(map.Sorted);
        const Rgb last = TestColors(count).back();
        EXPECT_EQ(map[count - 1].Red, last.R);
        EXPECT_EQ(map[count - 1].Blue, last.B);
        EXPECT_EQ(l.EndPosition, std::int64_t(13 + 3 * count + 1));
    }
}

TEST(GifReader, ColourTablesGrowInStepsOfThirtyTwoUpTo256)
{
    TGIFImage image;
    TGIFColorMap& map = image.Header().GlobalColorMap();
    map.Allocate(5);
    EXPECT_EQ(map.Capacity(), 16);
    map.Allocate(3); // below the capacity: nothing happens
    EXPECT_EQ(map.Capacity(), 16);
    map.Allocate(17);
    EXPECT_EQ(map.Capacity(), 32);
    map.Allocate(200);
    EXPECT_EQ(map.Capacity(), 224);
    map.Allocate(250);
    EXPECT_EQ(map.Capacity(), 256);
}

TEST(GifReader, ZeroBytesBetweenBlocksAreSkippedSilently)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Raw({0, 0}).Frame(Ramp(3, 2, 4)).Raw({0}).Frame(Ramp(3, 2, 3)).Raw({0, 0, 0});
    w.Trailer();
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.isEmpty()) << l.Warnings.join(u'|').toStdString();
    EXPECT_EQ(l.Image->Frames().Count(), 2);
    EXPECT_EQ(l.EndPosition, std::int64_t(w.Size()));
}

TEST(GifReader, AFileWithoutTrailerLoadsQuietly)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4));
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.isEmpty());
    ASSERT_EQ(l.Image->Frames().Count(), 1);
    EXPECT_EQ(l.Image->Frames()[0].Pixels()[5], 5 % 4);
    EXPECT_EQ(l.EndPosition, std::int64_t(w.Size()));
}

TEST(GifReader, AStrayByteEndsTheFramesWithTwoWarnings)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4)).Raw({0x99}).Frame(Ramp(3, 2, 4)).Trailer();
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_EQ(l.Warnings, QStringList({QStringLiteral("Unknown GIF block type"), QStringLiteral("Invalid Image trailer")}));
    EXPECT_EQ(l.Image->Frames().Count(), 1);
}

TEST(GifReader, AFrameWithoutSizeTakesTheScreenSizeAndALargerFrameStaysAsItIs)
{
    for (bool zeroWidth : {true, false}) {
        GifWriter w;
        w.Header(4, 3, TestColors(4)).Descriptor(1, 1, zeroWidth ? 0 : 7, zeroWidth ? 9 : 0, 0);
        w.Raw({2}).Raw(SubBlocks(LzwEncode(Bytes(12, 2), 2))).Trailer();
        Loaded l = LoadGif(w.Data());
        EXPECT_EQ(l.Error, QString());
        EXPECT_EQ(l.Warnings, QStringList{QStringLiteral("Image exceeds Logical Screen size")});
        ASSERT_EQ(l.Image->Frames().Count(), 1);
        const TGIFSubImage& frame = l.Image->Frames()[0];
        EXPECT_EQ(frame.Width(), 4);
        EXPECT_EQ(frame.Height(), 3);
        EXPECT_EQ(frame.PixelCount(), 12);
        EXPECT_EQ(frame.Pixels()[11], 2);
    }

    GifWriter w;
    FrameSpec big = Ramp(10, 10, 4);
    big.Left = 5;
    w.Header(4, 3, TestColors(4)).Frame(big).Trailer();
    Loaded l = LoadGif(w.Data());
    EXPECT_TRUE(l.Warnings.isEmpty());
    EXPECT_EQ(l.Image->Frames()[0].Width(), 10);
    EXPECT_EQ(l.Image->Frames()[0].Left(), 5);
}

TEST(GifReader, ExtensionsBeforeTheTrailerFormAnEmptyLastFrame)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4)).Comment({"bye"}).Trailer();
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    ASSERT_EQ(l.Image->Frames().Count(), 2);
    const TGIFSubImage& last = l.Image->Frames()[1];
    EXPECT_TRUE(last.Empty());
    EXPECT_EQ(last.PixelCount(), 0);
    EXPECT_EQ(last.Extensions().Count(), 1);
}

TEST(GifReader, AFailedLoadRewindsTheStreamAndKeepsTheFramesBeforeIt)
{
    GifWriter w;
    FrameSpec second = Ramp(3, 2, 4);
    second.LocalColors = TestColors(16);
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4));
    const std::size_t firstEnd = w.Size();
    w.Frame(second);
    Bytes bytes(7, 0xEE); // the stream does not start at the GIF
    bytes.insert(bytes.end(), w.Data().begin(), w.Data().begin() + std::ptrdiff_t(firstEnd + 10 + 20));

    TGIFImage image;
    QStringList progress;
    image.OnProgress = [&](TGraphic&, TProgressStage stage, int percent, bool redrawNow, const TRect&,
                           const QString& message) {
        progress << QStringLiteral("%1 %2 %3 %4").arg(int(stage)).arg(percent).arg(redrawNow).arg(message);
    };
    TMemoryStream stream(bytes);
    stream.SetPosition(7);
    EXPECT_EQ(ErrorOf([&] { image.LoadFromStream(stream); }), kPrematureEnd);
    EXPECT_EQ(stream.Position(), 7);
    EXPECT_EQ(image.Frames().Count(), 1);
    EXPECT_EQ(image.Width(), 3);
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.front(), QStringLiteral("0 0 0 Loading..."));
    EXPECT_EQ(progress.back(), QStringLiteral("2 0 1 Loading..."));
}

TEST(GifReader, ProgressRunsFromStartingThroughEachFrameToEnding)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4));
    const std::size_t firstEnd = w.Size();
    w.Frame(Ramp(3, 2, 4)).Trailer();
    TGIFImage image;
    std::vector<std::pair<TProgressStage, int>> steps;
    std::vector<bool> redraws;
    image.OnProgress = [&](TGraphic& sender, TProgressStage stage, int percent, bool redrawNow, const TRect& rect,
                           const QString& message) {
        EXPECT_EQ(&sender, &image);
        EXPECT_TRUE(rect.IsEmpty());
        EXPECT_EQ(message, QStringLiteral("Loading..."));
        steps.emplace_back(stage, percent);
        redraws.push_back(redrawNow);
    };
    TMemoryStream stream(w.Data());
    image.LoadFromStream(stream);
    const double size = double(w.Size());
    const double frameEnd = double(firstEnd);
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0], std::make_pair(TProgressStage::psStarting, 0));
    EXPECT_EQ(steps[1], std::make_pair(TProgressStage::psRunning, int(std::lround(frameEnd * 100 / size))));
    // The second frame ends just before the trailer.
    EXPECT_EQ(steps[2], std::make_pair(TProgressStage::psRunning, int(std::lround((size - 1) * 100 / size))));
    EXPECT_EQ(steps[3], std::make_pair(TProgressStage::psEnding, 100));
    EXPECT_EQ(redraws, (std::vector<bool>{false, false, false, true}));
}

TEST(GifReader, AProgressListenerMayAbortTheLoad)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4)).Frame(Ramp(3, 2, 4)).Frame(Ramp(3, 2, 4)).Trailer();
    TGIFImage image;
    std::vector<TProgressStage> stages;
    image.OnProgress = [&](TGraphic&, TProgressStage stage, int, bool, const TRect&, const QString&) {
        stages.push_back(stage);
        if (stage == TProgressStage::psRunning && image.Frames().Count() == 2)
            throw EAbort();
    };
    TMemoryStream stream(w.Data());
    EXPECT_THROW(image.LoadFromStream(stream), EAbort);
    EXPECT_EQ(stream.Position(), 0);
    EXPECT_EQ(image.Frames().Count(), 2);
    EXPECT_EQ(stages.back(), TProgressStage::psEnding);
}

TEST(GifReader, ASecondLoadReplacesTheFirst)
{
    TGIFImage image;
    GifWriter two;
    two.Header(3, 2, TestColors(4)).Loop(0).Frame(Ramp(3, 2, 4)).Frame(Ramp(3, 2, 4)).Trailer();
    TMemoryStream first(two.Data());
    image.LoadFromStream(first);
    ASSERT_EQ(image.Frames().Count(), 2);
    GifWriter one;
    one.Header(5, 1).Trailer();
    TMemoryStream second(one.Data());
    image.LoadFromStream(second);
    EXPECT_EQ(image.Frames().Count(), 0);
    EXPECT_EQ(image.Width(), 5);
    EXPECT_EQ(image.Header().GlobalColorMap().ColorCount(), 0);
}

TEST(GifReader, ColourLookupOutsideTheMapWarnsAndFallsBackToEntryZero)
{
    GifWriter w;
    w.Header(1, 1, TestColors(4), /*background=*/9).Trailer();
    Loaded l = LoadGif(w.Data());
    QStringList warnings;
    TGIFColorMap& map = l.Image->Header().GlobalColorMap();
    l.Image->WarningHandler = [&](TPersistent& sender, std::uint8_t severity, const QString& m) {
        EXPECT_EQ(&sender, &map);
        EXPECT_EQ(severity, 1);
        warnings << m;
    };
    const Rgb first = TestColors(4)[0];
    const Rgb third = TestColors(4)[2];
    EXPECT_EQ(map.Color(2), TColor(third.R | (third.G << 8) | (third.B << 16)));
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(map.Color(300), TColor(first.R | (first.G << 8) | (first.B << 16)));
    EXPECT_EQ(map.Color(-1), map.Color(0));
    EXPECT_EQ(l.Image->BackgroundColor(), map.Color(0)); // index 9 of 4
    EXPECT_EQ(warnings.size(), 3);
    EXPECT_EQ(warnings.front(), QStringLiteral("Invalid color index"));

    map.Clear();
    warnings.clear();
    EXPECT_EQ(ErrorOf([&] { map.Color(0); }), QStringLiteral("Color table is empty"));
    EXPECT_EQ(warnings, QStringList{QStringLiteral("Invalid color index")});
}

TEST(GifReader, VersionResolutionAndBitsPerPixelComeFromTheFrames)
{
    GifWriter w;
    FrameSpec local = Ramp(3, 2, 4);
    local.LocalColors = TestColors(256);
    w.Header(3, 2, TestColors(2)).Frame(Ramp(3, 2, 2)).Frame(local).Trailer();
    Loaded l = LoadGif(w.Data());
    ASSERT_EQ(l.Error, QString());
    EXPECT_EQ(l.Image->BitsPerPixel(), 8);
    EXPECT_EQ(l.Image->ColorResolution(), 7);
    EXPECT_EQ(l.Image->Version(), 1); // no frame has an extension or a sorted map

    GifWriter withExtension;
    withExtension.Header(3, 2, TestColors(2)).Frame(Ramp(3, 2, 2)).GraphicControl(0, 5).Frame(Ramp(3, 2, 2));
    l = LoadGif(withExtension.Trailer().Data());
    EXPECT_EQ(l.Image->Version(), 2);
    EXPECT_EQ(l.Image->BitsPerPixel(), 1);

    EXPECT_EQ(ColorsToBitsPerPixel(0), 0);
    EXPECT_EQ(ColorsToBitsPerPixel(1), 1);
    EXPECT_EQ(ColorsToBitsPerPixel(2), 1);
    EXPECT_EQ(ColorsToBitsPerPixel(3), 2);
    EXPECT_EQ(ColorsToBitsPerPixel(5), 3);
    EXPECT_EQ(ColorsToBitsPerPixel(128), 7);
    EXPECT_EQ(ColorsToBitsPerPixel(129), 8);
    EXPECT_EQ(ColorsToBitsPerPixel(256), 8);
}

TEST(GifReader, EffectiveColorMapPrefersTheLocalThenTheGlobalTable)
{
    GifWriter w;
    FrameSpec local = Ramp(3, 2, 4);
    local.LocalColors = TestColors(8);
    w.Header(3, 2, TestColors(4)).Frame(local).Frame(Ramp(3, 2, 4)).Trailer();
    Loaded l = LoadGif(w.Data());
    TGIFSubImage& withLocal = l.Image->Frames()[0];
    TGIFSubImage& withoutLocal = l.Image->Frames()[1];
    EXPECT_EQ(&withLocal.EffectiveColorMap(), &withLocal.LocalColorMap());
    EXPECT_EQ(&withoutLocal.EffectiveColorMap(), &l.Image->Header().GlobalColorMap());
    l.Image->Header().GlobalColorMap().Clear();
    EXPECT_EQ(&withoutLocal.EffectiveColorMap(), &withoutLocal.LocalColorMap());
}

TEST(GifReader, HugeFramesAreRefusedWithoutAllocating)
{
    // A few bytes that claim a 65535 x 65535 frame.
    GifWriter claim;
    claim.Header(65535, 65535, TestColors(2)).Descriptor(0, 0, 65535, 65535, 0).Raw({2, 2, 0x4C, 0x01, 0}).Trailer();
    Loaded l = LoadGif(claim.Data());
    EXPECT_EQ(l.Error, QStringLiteral("Image too large: 65535 x 65535 pixels"));
    EXPECT_EQ(l.EndPosition, 0);

    // The same through a frame that takes the screen's size.
    GifWriter screen;
    screen.Header(40000, 40000, TestColors(2)).Descriptor(0, 0, 0, 0, 0).Raw({2, 0}).Trailer();
    EXPECT_EQ(LoadGif(screen.Data()).Error, QStringLiteral("Image too large: 40000 x 40000 pixels"));

    // The limit itself still loads.
    TGIFImage image;
    auto frame = std::make_unique<TGIFSubImage>(&image);
    frame->Descriptor.Width = 8192;
    frame->Descriptor.Height = 8192;
    frame->AllocatePixels(7);
    EXPECT_EQ(frame->PixelCount(), kMaxFramePixels);
    EXPECT_EQ(frame->Pixels()[kMaxFramePixels - 1], 7);
    frame->Descriptor.Height = 8193;
    EXPECT_FALSE(ErrorOf([&] { frame->AllocatePixels(); }).isEmpty());
    EXPECT_EQ(frame->PixelCount(), 0);
}

TEST(GifReader, ManyLargeFramesAreRefusedTogether)
{
    // Nine frames of 8192 x 8192 in under 200 bytes: each is allowed, all
    // together would take 576 MB.
    GifWriter w;
    w.Header(8192, 8192, TestColors(2));
    for (int i = 0; i < 9; ++i)
        w.Descriptor(0, 0, 8192, 8192, 0).Raw({2, 2, 0x4C, 0x01, 0});
    Loaded l = LoadGif(w.Trailer().Data());
    EXPECT_EQ(l.Error, QStringLiteral("Image too large: the frames hold more than 512 megapixels"));
    EXPECT_EQ(l.Image->Frames().Count(), 8);
    EXPECT_EQ(l.Image->PixelTotal(), 8 * kMaxFramePixels);
    // Clearing gives the budget back.
    l.Image->Clear();
    EXPECT_EQ(l.Image->PixelTotal(), 0);
}

TEST(GifReader, PixelBuffersFollowTheFrameSize)
{
    TGIFImage image;
    TGIFSubImage frame(&image);
    EXPECT_TRUE(frame.Empty());
    EXPECT_EQ(ErrorOf([&] { frame.RequirePixels(); }), QStringLiteral("Image is empty"));
    frame.Descriptor.Width = 3;
    frame.Descriptor.Height = 2;
    frame.RequirePixels();
    EXPECT_EQ(frame.PixelCount(), 6);
    EXPECT_FALSE(frame.Empty());
    frame.Clear();
    EXPECT_EQ(frame.PixelCount(), 0);
    EXPECT_EQ(frame.Width(), 0);
    EXPECT_TRUE(frame.Empty());
}

TEST(GifReader, FramesAndListsOwnAndUnlinkTheirItems)
{
    GifWriter w;
    w.Header(3, 2, TestColors(4)).Frame(Ramp(3, 2, 4)).Frame(Ramp(3, 2, 4)).Frame(Ramp(3, 2, 4)).Trailer();
    Loaded l = LoadGif(w.Data());
    TGIFImageList& frames = l.Image->Frames();
    ASSERT_EQ(frames.Count(), 3);
    for (int i = 0; i < frames.Count(); ++i)
        EXPECT_EQ(frames[i].Image(), l.Image.get());
    TGIFSubImage* last = &frames[2];
    frames.Delete(1);
    EXPECT_EQ(frames.Count(), 2);
    EXPECT_EQ(&frames[1], last);
    // A frame that is destroyed leaves its picture's list.
    std::unique_ptr<TGIFItem> owned(frames.Item(1));
    owned.reset();
    EXPECT_EQ(frames.Count(), 1);
    frames.Clear();
    EXPECT_TRUE(l.Image->Empty());
}
