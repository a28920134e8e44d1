#pragma once

// The LZW decoder of GIF image data. It works on a frame and a stream alone:
// no drawing types, no tables kept between calls.

namespace orvex {

class TGIFSubImage;
class TStream;

// Decodes the frame's image data into its pixel buffer. The frame's
// descriptor, local colour table and graphic control are read, and the
// stream stands at the LZW minimum-code-size byte. Pixels that the data
// never reaches keep the fill value (the transparent index of a transparent
// frame, else 0). Normally leaves the stream just after the data's
// terminator. Raises GIFException for corrupt data and short reads; reports
// the other irregularities as warnings of the frame.
void DecodeFrameData(TGIFSubImage& frame, TStream& stream);

} // namespace orvex
