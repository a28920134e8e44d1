// Writes the fuzz target's seed corpus into a folder: small well-formed GIFs
// of every kind the reader knows (code sizes, interlacing, clears, a full
// table, every extension) and a few damaged ones.
#include "GifWriter.h"

#include <cstdio>
#include <string>

using namespace giftest;

namespace {

void Save(const std::string& dir, const std::string& name, const Bytes& bytes)
{
    const std::string path = dir + "/" + name + ".gif";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

FrameSpec Noise(int width, int height, int colors, std::uint32_t seed)
{
    TestRandom random(seed);
    return MakeFrame(width, height, [&](int, int) { return random.Next() % static_cast<std::uint32_t>(colors); });
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: gif_fuzz_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];

    for (int bits = 2; bits <= 8; ++bits) {
        for (int interlaced = 0; interlaced <= 1; ++interlaced) {
            GifWriter w;
            FrameSpec f = Noise(13, 11, 1 << bits, static_cast<std::uint32_t>(bits * 7 + interlaced));
            f.Interlaced = interlaced != 0;
            f.MinimumCodeSize = bits;
            w.Header(13, 11, TestColors(1 << bits)).Frame(f).Trailer();
            Save(dir, "bits" + std::to_string(bits) + (interlaced ? "-interlaced" : ""), w.Data());
        }
    }

    // An animation with every extension kind.
    {
        GifWriter w;
        w.Header(8, 8, TestColors(4), 1).Loop(3).Comment({"made for", "the fuzzer"});
        w.Application("ORVEXTEST1.0", {{1, 2, 3}, {4}});
        w.Raw({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 0, 5, 'h', 'e', 'l', 'l', 'o', 0});
        for (int i = 0; i < 3; ++i) {
            w.GraphicControl(i + 1, 10 * i, i == 1 ? 2 : -1);
            FrameSpec f = MakeFrame(4, 4, [i](int x, int y) { return (x + y + i) % 4; });
            f.Left = i;
            f.Top = i;
            if (i == 2)
                f.LocalColors = TestColors(8);
            w.Frame(f);
        }
        w.Trailer();
        Save(dir, "animation", w.Data());
    }

    // A table that fills and goes on without a clear, and frequent clears.
    {
        GifWriter w;
        FrameSpec f = Noise(64, 40, 256, 99);
        f.Lzw.ClearWhenFull = false;
        w.Header(64, 40, TestColors(256)).Frame(f).Trailer();
        Save(dir, "full-table", w.Data());
    }
    {
        GifWriter w;
        FrameSpec f = Noise(20, 20, 4, 5);
        f.Lzw.ClearEvery = 7;
        f.SubBlockSize = 5;
        w.Header(20, 20, TestColors(4)).Frame(f).Trailer();
        Save(dir, "clears", w.Data());
    }

    // Damaged: cut short, a stray block, a zero-size frame, an ANIMEXTS loop.
    {
        GifWriter w;
        w.Header(6, 6, TestColors(2)).Frame(Noise(6, 6, 2, 3)).Trailer();
        Bytes cut = w.Data();
        cut.resize(cut.size() - 6);
        Save(dir, "truncated", cut);
    }
    {
        GifWriter w;
        w.Header(5, 5, TestColors(2)).Loop(0, "ANIMEXTS1.0").Frame(Noise(5, 5, 2, 4)).Raw({0x99}).Trailer();
        Save(dir, "stray-block", w.Data());
    }
    {
        GifWriter w;
        w.Raw({'x', 'y', 'z', 'w'}).Header(3, 2, TestColors(2)).Descriptor(0, 0, 0, 0, 0);
        w.Raw({2}).Raw(SubBlocks(LzwEncode(Bytes(6, 1), 2))).Trailer();
        Save(dir, "zero-size", w.Data());
    }
    return 0;
}
