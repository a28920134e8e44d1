// Every frame of well-formed GIFs decodes to the same index buffer as
// giflib's (the reference decoder, used through its public API only).
#include "GIFImage.h"
#include "GifLoad.h"
#include "GifWriter.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace orvex;
using namespace giftest;

namespace {

struct MemoryInput {
    const Bytes* bytes;
    std::size_t position = 0;
};

int ReadFromMemory(GifFileType* file, GifByteType* buffer, int count)
{
    auto* input = static_cast<MemoryInput*>(file->UserData);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), input->bytes->size() - input->position);
    std::memcpy(buffer, input->bytes->data() + input->position, n);
    input->position += n;
    return static_cast<int>(n);
}

// giflib's frames, in display order.
std::vector<Bytes> GiflibFrames(const Bytes& bytes)
{
    MemoryInput input{&bytes};
    int error = 0;
    GifFileType* file = DGifOpen(&input, ReadFromMemory, &error);
    if (!file) {
        ADD_FAILURE() << "giflib cannot open the file: " << GifErrorString(error);
        return {};
    }
    std::vector<Bytes> frames;
    if (DGifSlurp(file) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read the file: " << GifErrorString(file->Error);
    } else {
        for (int i = 0; i < file->ImageCount; ++i) {
            const SavedImage& image = file->SavedImages[i];
            const std::size_t size = std::size_t(image.ImageDesc.Width) * std::size_t(image.ImageDesc.Height);
            frames.emplace_back(image.RasterBits, image.RasterBits + size);
        }
    }
    DGifCloseFile(file, &error);
    return frames;
}

void ExpectSameAsGiflib(const Bytes& bytes, const std::string& what)
{
    SCOPED_TRACE(what);
    Loaded ours = LoadGif(bytes);
    ASSERT_EQ(ours.Error, QString());
    EXPECT_TRUE(ours.Warnings.isEmpty()) << ours.Warnings.join(u'|').toStdString();
    const std::vector<Bytes> theirs = GiflibFrames(bytes);
    ASSERT_EQ(ours.Image->Frames().Count(), int(theirs.size()));
    for (int i = 0; i < ours.Image->Frames().Count(); ++i) {
        const TGIFSubImage& frame = ours.Image->Frames()[i];
        ASSERT_EQ(frame.PixelCount(), std::int64_t(theirs[std::size_t(i)].size())) << "frame " << i;
        const Bytes mine(frame.Pixels(), frame.Pixels() + frame.PixelCount());
        EXPECT_TRUE(mine == theirs[std::size_t(i)]) << "frame " << i << " differs";
    }
}

FrameSpec Noise(int width, int height, int colors, std::uint32_t seed)
{
    TestRandom random(seed);
    return MakeFrame(width, height, [&](int, int) { return random.Next() % std::uint32_t(colors); });
}

// Runs of one colour of random length: long strings in the table.
FrameSpec Runs(int width, int height, int colors, std::uint32_t seed)
{
    TestRandom random(seed);
    int left = 0;
    int colour = 0;
    return MakeFrame(width, height, [&](int, int) {
        if (left-- <= 0) {
            left = int(random.Next() % 300);
            colour = int(random.Next() % std::uint32_t(colors));
        }
        return colour;
    });
}

Bytes OneFrame(const FrameSpec& frame, int colors)
{
    GifWriter w;
    w.Header(frame.Width, frame.Height, TestColors(colors)).Frame(frame).Trailer();
    return w.Data();
}

} // namespace

TEST(GifGiflibCompare, EveryMinimumCodeSizeInterlacedOrNot)
{
    for (int bits = 2; bits <= 8; ++bits) {
        for (bool interlaced : {false, true}) {
            FrameSpec frame = Noise(97, 61, 1 << bits, std::uint32_t(bits * 31 + interlaced));
            frame.MinimumCodeSize = bits;
            frame.Interlaced = interlaced;
            ExpectSameAsGiflib(OneFrame(frame, 1 << bits),
                               "bits " + std::to_string(bits) + (interlaced ? " interlaced" : ""));
        }
    }
}

TEST(GifGiflibCompare, OddSizes)
{
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 1000}, {1000, 1}, {2, 3}, {3, 9}, {255, 5}, {7, 13}};
    for (auto [width, height] : sizes) {
        for (bool interlaced : {false, true}) {
            FrameSpec frame = Noise(width, height, 16, std::uint32_t(width * 1000 + height));
            frame.Interlaced = interlaced;
            ExpectSameAsGiflib(OneFrame(frame, 16), std::to_string(width) + "x" + std::to_string(height) +
                                                        (interlaced ? " interlaced" : ""));
        }
    }
}

TEST(GifGiflibCompare, AFullTableGoesOnWithoutAClear)
{
    // Enough noise to fill the 4096 entries several times over.
    for (int bits : {2, 5, 8}) {
        FrameSpec frame = Noise(300, 200, 1 << bits, std::uint32_t(bits));
        frame.MinimumCodeSize = bits;
        frame.Lzw.ClearWhenFull = false;
        ExpectSameAsGiflib(OneFrame(frame, 1 << bits), "no clear, bits " + std::to_string(bits));
    }
    FrameSpec runs = Runs(400, 300, 256, 7);
    runs.Lzw.ClearWhenFull = false;
    ExpectSameAsGiflib(OneFrame(runs, 256), "no clear, long strings");
}

TEST(GifGiflibCompare, ClearsAndSmallSubBlocks)
{
    for (int every : {1, 2, 50, 1000}) {
        FrameSpec frame = Noise(120, 80, 64, std::uint32_t(every));
        frame.Lzw.ClearEvery = every;
        frame.SubBlockSize = every % 2 ? 1 : 254;
        ExpectSameAsGiflib(OneFrame(frame, 64), "clear every " + std::to_string(every));
    }
    FrameSpec runs = Runs(640, 480, 256, 3);
    ExpectSameAsGiflib(OneFrame(runs, 256), "long strings with clears when full");
}

TEST(GifGiflibCompare, AnAnimationWithLocalTablesAndExtensions)
{
    GifWriter w;
    w.Header(64, 64, TestColors(256)).Loop(0).Comment({"frames"});
    for (int i = 0; i < 12; ++i) {
        w.GraphicControl(i % 4, 5, i % 3 == 0 ? i : -1);
        FrameSpec frame = i % 2 ? Noise(64 - i, 64 - 2 * i, 256, std::uint32_t(i)) : Runs(64, 64, 4, std::uint32_t(i));
        frame.Left = i % 2 ? i : 0;
        frame.Interlaced = i % 3 == 1;
        if (i % 4 == 2)
            frame.LocalColors = TestColors(4);
        w.Frame(frame);
    }
    ExpectSameAsGiflib(w.Trailer().Data(), "animation");
}
