#include "GIFExtensions.h"
#include "GIFImage.h"
#include "GifWriter.h"
#include "Streams.h"

#include <gtest/gtest.h>

using namespace orvex;
using namespace giftest;

TEST(GifReader, LoadsASingleFrame)
{
    GifWriter w;
    w.Header(2, 2, TestColors(4)).Frame(MakeFrame(2, 2, [](int x, int y) { return x + 2 * y; })).Trailer();
    TMemoryStream stream(w.Data());
    TGIFImage image;
    image.LoadFromStream(stream);
    ASSERT_EQ(image.Frames().Count(), 1);
    const TGIFSubImage& frame = image.Frames()[0];
    ASSERT_EQ(frame.PixelCount(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(frame.Pixels()[i], i);
}
