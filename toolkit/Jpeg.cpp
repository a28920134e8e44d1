#include "Jpeg.h"

#include "Exceptions.h"
#include "Streams.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace orvex {

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf escape;
    char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->escape, 1);
}

void SilentOutput(j_common_ptr) {}

// Decodes into 0xFFRRGGBB pixels. Plain C state only between setjmp and the
// jumps back to it; returns false with libjpeg's message on failure.
bool Decode(const std::uint8_t* data, std::size_t size, QImage& image, char* message)
{
    jpeg_decompress_struct info {};
    ErrorManager errors {};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ErrorExit;
    errors.base.output_message = SilentOutput;
    if (setjmp(errors.escape)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", errors.message);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height), QImage::Format_RGB32);
    if (image.isNull()) {
        std::snprintf(message, JMSG_LENGTH_MAX, "Out of memory for a %ux%u picture", info.output_width, info.output_height);
        jpeg_destroy_decompress(&info);
        return false;
    }
    // The row buffer comes from libjpeg's own pool, so a jump out frees it too.
    JSAMPARRAY rows = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                info.output_width * 3, 1);
    const JSAMPLE* row = rows[0];
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        jpeg_read_scanlines(&info, rows, 1);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (JDIMENSION x = 0; x < info.output_width; ++x)
            out[x] = qRgb(row[x * 3], row[x * 3 + 1], row[x * 3 + 2]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

void TJPEGImage::LoadFromStream(TStream& stream)
{
    LoadFromBytes(stream.ReadAll());
}

void TJPEGImage::LoadFromBytes(const std::vector<std::uint8_t>& bytes)
{
    if (bytes.empty())
        throw EInvalidGraphic(QStringLiteral("JPEG error: the picture holds no data"));
    QImage image;
    char message[JMSG_LENGTH_MAX] = {};
    if (!Decode(bytes.data(), bytes.size(), image, message))
        throw EInvalidGraphic(QStringLiteral("JPEG error: %1").arg(QString::fromLocal8Bit(message)));
    m_bitmap.Assign(image);
    Changed();
}

void TJPEGImage::Draw(TCanvas& canvas, const TRect& rect)
{
    if (!Empty())
        StretchBlt(canvas.Bitmap(), rect, m_bitmap, Bounds(0, 0, Width(), Height()), canvas.CopyMode);
}

} // namespace orvex
