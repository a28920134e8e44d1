// Loads arbitrary bytes as a GIF picture. Failures must be GIFException (or
// another of the program's exceptions) and nothing else: no crash, no leak,
// no hang, no unbounded allocation.
#include "GIFExtensions.h"
#include "GIFImage.h"
#include "Streams.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Frames of up to a megapixel: the refusal of larger ones is tested
    // apart, and filling 64 MB per run would slow the search a hundredfold.
    orvex::FramePixelLimit = 1024 * 1024;
    orvex::PicturePixelLimit = 4 * 1024 * 1024;
    orvex::TMemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    orvex::TGIFImage image;
    int warnings = 0;
    image.WarningHandler = [&warnings](orvex::TPersistent&, std::uint8_t, const QString&) { ++warnings; };
    try {
        image.LoadFromStream(stream);
    } catch (const orvex::Exception&) {
        // A refused file; the stream must be back where the load began.
        if (stream.Position() != 0)
            __builtin_trap();
    }
    // Walk what loaded, as the inspector and the drawing code do.
    for (int i = 0; i < image.Frames().Count(); ++i) {
        orvex::TGIFSubImage& frame = image.Frames()[i];
        if (frame.PixelCount() != 0 && frame.PixelCount() != std::int64_t(frame.Width()) * frame.Height())
            __builtin_trap();
        volatile std::uint8_t sink = 0;
        if (frame.PixelCount() > 0)
            sink = frame.Pixels()[frame.PixelCount() - 1];
        (void)sink;
        (void)frame.EffectiveColorMap().ColorCount();
    }
    (void)image.Version();
    (void)image.BitsPerPixel();
    return 0;
}
