// The LZW frame decoder on hand-made code streams: fill values, clears,
// codes beyond the table, a full table, the end code at a sub-block
// boundary, interlacing, cut-off data and corrupt tables.
#include "GIFDecoder.h"
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GifLoad.h"
#include "GifWriter.h"
#include "Streams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

namespace {

// A frame of width x height in a picture with a 4-colour global table,
// whose image data is exactly `data` (minimum code size byte included).
Bytes FrameWithData(int width, int height, const Bytes& data, bool interlaced = false, int transparent = -1)
{
    GifWriter w;
    w.Header(width, height, TestColors(4));
    if (transparent >= 0)
        w.GraphicControl(0, 0, transparent);
    w.Descriptor(0, 0, width, height, interlaced ? 0x40 : 0).Raw(data).Trailer();
    return w.Data();
}

Bytes PixelsOf(const Loaded& l, int frame = 0)
{
    const TGIFSubImage& f = l.Image->Frames()[frame];
    return Bytes(f.Pixels(), f.Pixels() + f.PixelCount());
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(GifDecoder, OnePixelFrameLeavesTheStreamAfterItsTerminator)
{
    // Minimum code size 2: clear (4), index 3, end (5), 3 bits each.
    const Bytes data = Concat({2}, SubBlocks(PackCodes({{4, 3}, {3, 3}, {5, 3}})));
    Loaded l = LoadGif(FrameWithData(1, 1, data));
    ASSERT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.isEmpty()) << l.Warnings.join(u'|').toStdString();
    EXPECT_EQ(PixelsOf(l), Bytes{3});
    // The trailer was read as such: no "Invalid Image trailer".
    EXPECT_EQ(l.EndPosition, std::int64_t(FrameWithData(1, 1, data).size()));
}

TEST(GifDecoder, AnEarlyEndCodeLeavesTheFillValue)
{
    // Half of a 4 x 2 frame, then the end code.
    const Bytes data = Concat({2}, SubBlocks(LzwEncode({1, 2, 1, 2}, 2)));
    Loaded opaque = LoadGif(FrameWithData(4, 2, data));
    EXPECT_EQ(opaque.Error, QString());
    EXPECT_EQ(PixelsOf(opaque), (Bytes{1, 2, 1, 2, 0, 0, 0, 0}));

    Loaded transparent = LoadGif(FrameWithData(4, 2, data, false, 3));
    EXPECT_EQ(PixelsOf(transparent), (Bytes{1, 2, 1, 2, 3, 3, 3, 3}));
    EXPECT_EQ(transparent.Image->Frames().Count(), 1);

    // An end code inside the sub-block skips the rest of the data up to
    // its terminator, so the next frame is read as it should be.
    GifWriter two;
    two.Header(4, 2, TestColors(4)).Descriptor(0, 0, 4, 2, 0);
    two.Raw({2}).Raw(SubBlocks(Concat(LzwEncode({1, 2, 1}, 2), {0xAA, 0xBB, 0xCC}), 255, false));
    two.Raw(SubBlocks({1, 2, 3}, 1));
    two.Frame(MakeFrame(4, 2, [](int x, int) { return x; })).Trailer();
    Loaded skipped = LoadGif(two.Data());
    EXPECT_EQ(skipped.Error, QString());
    EXPECT_TRUE(skipped.Warnings.isEmpty()) << skipped.Warnings.join(u'|').toStdString();
    ASSERT_EQ(skipped.Image->Frames().Count(), 2);
    EXPECT_EQ(PixelsOf(skipped, 0), (Bytes{1, 2, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(PixelsOf(skipped, 1), (Bytes{0, 1, 2, 3, 0, 1, 2, 3}));
}

TEST(GifDecoder, MissingImageDataKeepsTheFillValueQuietly)
{
    GifWriter w;
    w.Header(3, 1, TestColors(4)).GraphicControl(0, 0, 2).Descriptor(0, 0, 3, 1, 0);
    Loaded l = LoadGif(w.Data());
    EXPECT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.isEmpty());
    EXPECT_EQ(PixelsOf(l), (Bytes{2, 2, 2}));
}

TEST(GifDecoder, DataCutInsideASubBlockWarnsAndKeepsWhatArrived)
{
    TestRandom random(3);
    Bytes pixels(200);
    for (auto& p : pixels)
        p = static_cast<std::uint8_t>(random.Next() % 4);
    Bytes data = Concat({2}, SubBlocks(LzwEncode(pixels, 2)));
    Bytes file = FrameWithData(20, 10, data);
    file.resize(file.size() - 1 - 1 - 6); // drop the trailer, the terminator and six data bytes
    Loaded l = LoadGif(file);
    EXPECT_EQ(l.Error, QString());
    ASSERT_FALSE(l.Warnings.isEmpty());
    EXPECT_EQ(l.Warnings.front(), QStringLiteral("Premature end of data"));
    const Bytes got = PixelsOf(l);
    // A prefix decodes right; the tail keeps the fill value.
    int right = 0;
    while (right < 200 && got[std::size_t(right)] == pixels[std::size_t(right)])
        ++right;
    EXPECT_GT(right, 100);
    EXPECT_LT(right, 200);
    EXPECT_EQ(got.back(), 0);
}

TEST(GifDecoder, DataWithoutEndCodeRunsDryWithAnUnderrunWarning)
{
    LzwOptions noEnd;
    noEnd.EndCode = false;
    const Bytes data = Concat({2}, SubBlocks(LzwEncode({1, 1, 2, 3}, 2, noEnd)));
    Loaded l = LoadGif(FrameWithData(4, 3, data));
    EXPECT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.contains(QStringLiteral("Decoder bit buffer under-run")));
    const Bytes got = PixelsOf(l);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), (Bytes{1, 1, 2, 3}));
    EXPECT_EQ(got.back(), 0);
}

TEST(GifDecoder, ACodeEqualToTheNextFreeSlotRepeatsThePreviousString)
{
    // clear; 1; 6 (= next free: "1" + "1"); 6 again (now in the table); end.
    // Widths: 3 bits until the table reaches 8 entries, after the second 6.
    const Bytes data = Concat({2}, SubBlocks(PackCodes({{4, 3}, {1, 3}, {6, 3}, {6, 3}, {7, 4}, {5, 4}})));
    Loaded l = LoadGif(FrameWithData(8, 1, data));
    ASSERT_EQ(l.Error, QString());
    // 1 | 1 1 | 1 1 | 1 1 1 (code 7 = "11" + "1", added after the second 6)
    EXPECT_EQ(PixelsOf(l), (Bytes{1, 1, 1, 1, 1, 1, 1, 1}));

    // With a different first pixel the new entry is "2" + "2", then "2 2 2".
    const Bytes other = Concat({2}, SubBlocks(PackCodes({{4, 3}, {2, 3}, {6, 3}, {0, 3}, {5, 4}})));
    l = LoadGif(FrameWithData(4, 1, other));
    EXPECT_EQ(PixelsOf(l), (Bytes{2, 2, 2, 0}));
}

TEST(GifDecoder, TheCodeAfterAClearIsAPixelEvenWhenItIsTheEndCode)
{
    // clear; 5 (the end code, taken as a pixel: its low 8 bits); 1; end.
    const Bytes data = Concat({2}, SubBlocks(PackCodes({{4, 3}, {5, 3}, {1, 3}, {5, 3}})));
    Loaded l = LoadGif(FrameWithData(3, 1, data));
    ASSERT_EQ(l.Error, QString());
    EXPECT_EQ(PixelsOf(l), (Bytes{5, 1, 0}));

    // Repeated clears before the first code are skipped.
    const Bytes clears = Concat({2}, SubBlocks(PackCodes({{4, 3}, {4, 3}, {4, 3}, {2, 3}, {5, 3}})));
    l = LoadGif(FrameWithData(1, 1, clears));
    EXPECT_EQ(PixelsOf(l), Bytes{2});
}

TEST(GifDecoder, AFullTableGoesOnWithTwelveBitCodesUntilAClear)
{
    // Noise fills the table early; the rest is coded against the full table.
    TestRandom random(11);
    Bytes pixels(30000);
    for (auto& p : pixels)
        p = static_cast<std::uint8_t>(random.Next() % 4);
    LzwOptions noClear;
    noClear.ClearWhenFull = false;
    std::vector<LzwCode> codes;
    const Bytes data = Concat({2}, SubBlocks(LzwEncode(pixels, 2, noClear, &codes)));
    ASSERT_GT(codes.size(), 5000u); // well past 4096 entries
    EXPECT_EQ(codes.back().Width, 12);
    Loaded l = LoadGif(FrameWithData(300, 100, data));
    ASSERT_EQ(l.Error, QString());
    EXPECT_TRUE(l.Warnings.isEmpty());
    EXPECT_TRUE(PixelsOf(l) == pixels);

    // And a clear after the table filled starts again at 3 bits.
    LzwOptions clearEarly;
    clearEarly.ClearEvery = 4500;
    clearEarly.ClearWhenFull = false;
    const Bytes again = Concat({2}, SubBlocks(LzwEncode(pixels, 2, clearEarly)));
    l = LoadGif(FrameWithData(300, 100, again));
    EXPECT_TRUE(PixelsOf(l) == pixels);
}

TEST(GifDecoder, AnEndCodeOnASubBlockBoundaryIsRecognised)
{
    // Find pixel runs whose codes end exactly on a byte boundary, so that
    // the end code is the last bits of the only data sub-block.
    int found = 0;
    for (int n = 1; n < 200 && found < 3; ++n) {
        Bytes pixels(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i)
            pixels[std::size_t(i)] = static_cast<std::uint8_t>((i * 7 / 3) % 4);
        std::vector<LzwCode> codes;
        const Bytes packed = LzwEncode(pixels, 2, {}, &codes);
        int bits = 0;
        for (const LzwCode& c : codes)
            bits += c.Width;
        if (bits % 8 != 0)
            continue;
        ++found;
        SCOPED_TRACE(n);
        const Bytes file = FrameWithData(n, 1, Concat({2}, SubBlocks(packed)), false, 3);
        Loaded l = LoadGif(file);
        ASSERT_EQ(l.Error, QString());
        EXPECT_TRUE(l.Warnings.isEmpty()) << l.Warnings.join(u'|').toStdString();
        EXPECT_EQ(PixelsOf(l), pixels);
        // The terminator went to the code reader and the trailer is read.
        EXPECT_EQ(l.EndPosition, std::int64_t(file.size()));
    }
    EXPECT_EQ(found, 3);
}

TEST(GifDecoder, CodesStraddleSubBlocksOfAnySize)
{
    TestRandom random(5);
    Bytes pixels(2000);
    for (auto& p : pixels)
        p = static_cast<std::uint8_t>(random.Next() % 16);
    const Bytes packed = LzwEncode(pixels, 4);
    for (int blockSize : {1, 2, 3, 7, 254, 255}) {
        Loaded l = LoadGif(FrameWithData(40, 50, Concat({4}, SubBlocks(packed, blockSize))));
        EXPECT_TRUE(l.Warnings.isEmpty()) << blockSize;
        EXPECT_TRUE(PixelsOf(l) == pixels) << blockSize;
    }
}

TEST(GifDecoder, InterlacedRowsAreWrittenOnceInPassOrder)
{
    for (int height : {1, 2, 3, 5, 9, 17}) {
        SCOPED_TRACE(height);
        const int width = 3;
        // Row r holds the value r in display order.
        Bytes display(std::size_t(width * height));
        for (int r = 0; r < height; ++r)
            for (int x = 0; x < width; ++x)
                display[std::size_t(r * width + x)] = static_cast<std::uint8_t>(r + 1);
        const Bytes stored = InterlaceRows(display, width, height);
        Loaded l = LoadGif(FrameWithData(width, height, Concat({5}, SubBlocks(LzwEncode(stored, 5))), true));
        ASSERT_EQ(l.Error, QString());
        EXPECT_EQ(PixelsOf(l), display);

        // Coding only the first k stored rows fills exactly the first k rows
        // of the pass order.
        const int k = (height + 1) / 2;
        const Bytes part(stored.begin(), stored.begin() + k * width);
        Loaded p = LoadGif(FrameWithData(width, height, Concat({5}, SubBlocks(LzwEncode(part, 5))), true));
        const Bytes got = PixelsOf(p);
        int filled = 0;
        for (int r = 0; r < height; ++r) {
            const std::uint8_t v = got[std::size_t(r * width)];
            if (v != 0) {
                EXPECT_EQ(v, r + 1);
                ++filled;
            }
        }
        EXPECT_EQ(filled, k);
        // Every row of the first pass is among them.
        for (int r = 0; r < height; r += 8)
            EXPECT_EQ(got[std::size_t(r * width)], r + 1);
    }
}

TEST(GifDecoder, MinimumCodeSizesOutsideTheStandard)
{
    // 12 and above would overrun the table: refused before decoding.
    for (std::uint8_t size : {12, 15, 16, 255}) {
        Loaded l = LoadGif(FrameWithData(2, 2, {size, 2, 0xFF, 0xFF, 0}));
        EXPECT_EQ(l.Error, QStringLiteral("Invalid GIF data")) << int(size);
        EXPECT_EQ(l.EndPosition, 0);
    }
    // 0, 1 and 9 to 11 run through the same steps.
    // (Size 0 has only one-bit codes at first, enough for two pixels.)
    for (int size : {0, 1, 9, 10, 11}) {
        SCOPED_TRACE(size);
        const Bytes pixels = size == 0 ? Bytes{0, 0} : Bytes{1, 0, 1, 1, 0, 0};
        const Bytes data = Concat({std::uint8_t(size)}, SubBlocks(LzwEncode(pixels, size)));
        Loaded l = LoadGif(FrameWithData(int(pixels.size()), 1, data, false, 3));
        EXPECT_EQ(l.Error, QString());
        EXPECT_TRUE(l.Warnings.isEmpty());
        EXPECT_EQ(PixelsOf(l), pixels);
    }
}

TEST(GifDecoder, CorruptTablesStopWithAnError)
{
    // An entry that names itself as its prefix: clear; 7 (unchecked first
    // code); 7 (beyond the table: adds 6 = 7 + ...); 6 (adds 7 with prefix
    // 7); 7 (4 bits now) walks into the self-reference.
    const Bytes self = Concat({2}, SubBlocks(PackCodes({{4, 3}, {7, 3}, {7, 3}, {6, 3}, {7, 4}, {5, 4}})));
    Loaded l = LoadGif(FrameWithData(10, 10, self));
    EXPECT_EQ(l.Error, QStringLiteral("Circular decoder table entry"));
    EXPECT_EQ(l.EndPosition, 0);

    // Two entries naming each other: the chain would run for ever; the
    // stack's limit stops it.
    const Bytes loop = Concat({2}, SubBlocks(PackCodes({{4, 3}, {7, 3}, {6, 3}, {0, 3}, {6, 4}, {5, 4}})));
    l = LoadGif(FrameWithData(10, 10, loop));
    EXPECT_EQ(l.Error, QStringLiteral("Circular decoder table entry"));
}

TEST(GifDecoder, DecodesAFrameOnAStreamAlone)
{
    TGIFImage image;
    TGIFSubImage frame(&image);
    frame.Descriptor.Width = 5;
    frame.Descriptor.Height = 1;
    TMemoryStream stream(Concat(Concat({2}, SubBlocks(LzwEncode({3, 3, 3, 2, 1}, 2))), {0x3B}));
    DecodeFrameData(frame, stream);
    EXPECT_EQ(Bytes(frame.Pixels(), frame.Pixels() + 5), (Bytes{3, 3, 3, 2, 1}));
    EXPECT_EQ(stream.Position(), stream.Size() - 1);
}

TEST(GifDecoder, DataPastTheLastPixelIsSkippedUpToItsTerminator)
{
    const FrameSpec good = MakeFrame(2, 1, [](int x, int) { return x + 1; });
    // Each case: a frame of width x height, its image data, then a good frame.
    auto loadWithTail = [&](int width, int height, const Bytes& data) {
        GifWriter w;
        w.Header(4, 2, TestColors(4)).Descriptor(0, 0, width, height, 0).Raw(data).Frame(good).Trailer();
        return LoadGif(w.Data());
    };
    auto expectBothFrames = [&](const Loaded& l, const Bytes& firstPixels, const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(l.Error, QString());
        ASSERT_EQ(l.Image->Frames().Count(), 2);
        EXPECT_EQ(PixelsOf(l, 0), firstPixels);
        EXPECT_EQ(PixelsOf(l, 1), (Bytes{1, 2}));
    };

    // Data that codes 40 pixels for a 2 x 1 frame, in small sub-blocks.
    Bytes forty(40);
    for (std::size_t i = 0; i < forty.size(); ++i)
        forty[i] = static_cast<std::uint8_t>((i * 7 + i / 3) % 4);
    expectBothFrames(loadWithTail(2, 1, Concat({2}, SubBlocks(LzwEncode(forty, 2), 3))), Bytes{forty[0], forty[1]},
                     "forty pixels");

    // The last string still has pixels waiting: one code for 1,1,1,... is
    // long enough to cover the frame twice over.
    expectBothFrames(loadWithTail(2, 1, Concat({2}, SubBlocks(LzwEncode(Bytes(12, 1), 2), 1))), Bytes{1, 1},
                     "a string longer than the frame");

    // A clear code right after the last pixel, then more codes.
    const Bytes cleared = PackCodes({{4, 3}, {1, 3}, {2, 3}, {4, 3}, {3, 3}, {3, 3}, {5, 3}});
    expectBothFrames(loadWithTail(2, 1, Concat({2}, SubBlocks(cleared, 1))), Bytes{1, 2}, "a clear code");

    // A frame of no size (read as one of the picture's size, 4 x 2) whose
    // data codes more pixels than that.
    expectBothFrames(loadWithTail(0, 0, Concat({2}, SubBlocks(LzwEncode(forty, 2), 2))),
                     Bytes(forty.begin(), forty.begin() + 8), "a 0 x 0 frame");
}
