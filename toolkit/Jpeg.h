#pragma once

#include "Graphics.h"

#include <cstdint>
#include <vector>

namespace orvex {

// A JPEG picture, decoded with libjpeg when it is loaded. A lossy picture
// has no exact key colour, so it always draws opaque.
class TJPEGImage : public TGraphic {
public:
    void Draw(TCanvas& canvas, const TRect& rect) override;
    int Width() const override { return m_bitmap.Width(); }
    int Height() const override { return m_bitmap.Height(); }
    bool Empty() const override { return m_bitmap.Empty(); }
    // Raises EInvalidGraphic with libjpeg's own message when the data is not a readable JPEG.
    void LoadFromStream(TStream& stream) override;
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes);

    const TBitmap& Bitmap() const { return m_bitmap; }

private:
    TBitmap m_bitmap;
};

} // namespace orvex
