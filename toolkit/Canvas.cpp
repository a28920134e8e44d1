#include "Graphics.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace orvex {

// ---- TCanvas

namespace {

QPainter::CompositionMode CompositionOf(TPenMode mode)
{
    switch (mode) {
    case TPenMode::pmXor: return QPainter::RasterOp_SourceXorDestination;
    case TPenMode::pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    case TPenMode::pmNot: return QPainter::RasterOp_NotDestination;
    case TPenMode::pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case TPenMode::pmMask: return QPainter::RasterOp_SourceAndDestination;
    case TPenMode::pmNotCopy: return QPainter::RasterOp_NotSource;
    default: return QPainter::CompositionMode_SourceOver;
    }
}

} // namespace

// Shapes and text go through QPainter with antialiasing off. Painter-friendly
// bitmaps are painted in place; indexed and 1-bit ones through a 32-bit copy
// mapped back to their colour table.
template <class Paint>
void TCanvas::WithPainter(Paint&& paint)
{
    QImage& image = m_target.Image();
    if (image.isNull())
        return;
    const bool direct = image.format() == QImage::Format_RGB32;
    QImage scratch = direct ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(direct ? &image : &scratch);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setCompositionMode(CompositionOf(Pen.Mode));
        paint(painter);
    }
    if (!direct)
        image = scratch.convertToFormat(image.format(), image.colorTable(), Qt::ThresholdDither | Qt::AvoidDither);
    else if (Pen.Mode != TPenMode::pmCopy) {
        // Raster modes also combine the alpha byte; a device bitmap keeps it opaque.
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xFF000000u;
        }
    }
    m_target.CanvasChanged();
}

namespace {

QPen QtPen(const TPen& pen)
{
    if (pen.Style == TPenStyle::psClear)
        return Qt::NoPen;
    QPen qpen(ToQColor(pen.Color));
    qpen.setWidth(pen.Width <= 1 ? 0 : pen.Width);
    switch (pen.Style) {
    case TPenStyle::psDash: qpen.setStyle(Qt::DashLine); break;
    case TPenStyle::psDot: qpen.setStyle(Qt::DotLine); break;
    case TPenStyle::psDashDot: qpen.setStyle(Qt::DashDotLine); break;
    case TPenStyle::psDashDotDot: qpen.setStyle(Qt::DashDotDotLine); break;
    default: break;
    }
    return qpen;
}

QBrush QtBrush(const TBrush& brush)
{
    if (brush.Style == TBrushStyle::bsClear)
        return Qt::NoBrush;
    return QBrush(ToQColor(brush.Color));
}

// A shape's outline sits inside its rectangle: right and bottom are excluded.
QRect InnerRect(const TRect& r)
{
    return QRect(r.Left, r.Top, std::max(r.Width() - 1, 0), std::max(r.Height() - 1, 0));
}

} // namespace

void TCanvas::FillRect(const TRect& rect)
{
    if (Brush.Style == TBrushStyle::bsClear)
        return;
    PatBlt(m_target, rect, Brush.Color, PATCOPY);
}

void TCanvas::FrameRect(const TRect& rect)
{
    if (rect.IsEmpty())
        return;
    PatBlt(m_target, Rect(rect.Left, rect.Top, rect.Right, rect.Top + 1), Brush.Color, PATCOPY);
    PatBlt(m_target, Rect(rect.Left, rect.Bottom - 1, rect.Right, rect.Bottom), Brush.Color, PATCOPY);
    PatBlt(m_target, Rect(rect.Left, rect.Top, rect.Left + 1, rect.Bottom), Brush.Color, PATCOPY);
    PatBlt(m_target, Rect(rect.Right - 1, rect.Top, rect.Right, rect.Bottom), Brush.Color, PATCOPY);
}

void TCanvas::Rectangle(const TRect& rect)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawRect(InnerRect(rect));
    });
}

void TCanvas::Ellipse(const TRect& rect)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawEllipse(InnerRect(rect));
    });
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    const double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
    // Screen y grows downwards; angles count counter-clockwise as on paper.
    auto angle = [&](int x, int y) { return std::atan2(cy - y, x - cx) * 180.0 / std::numbers::pi; };
    const double start = angle(x3, y3);
    double span = angle(x4, y4) - start;
    if (span <= 0)
        span += 360.0;
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawPie(InnerRect(Rect(x1, y1, x2, y2)), static_cast<int>(std::lround(start * 16)),
                  static_cast<int>(std::lround(span * 16)));
    });
}

void TCanvas::Polygon(const std::vector<QPoint>& points)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.setBrush(QtBrush(Brush));
        p.drawPolygon(points.data(), static_cast<int>(points.size()));
    });
}

void TCanvas::Polyline(const std::vector<QPoint>& points)
{
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        p.drawPolyline(points.data(), static_cast<int>(points.size()));
    });
    if (!points.empty())
        PenPos = points.back();
}

void TCanvas::LineTo(int x, int y)
{
    // The end point itself is not drawn.
    const QPoint from = PenPos, to(x, y);
    WithPainter([&](QPainter& p) {
        p.setPen(QtPen(Pen));
        if (from == to)
            return;
        const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
        const bool straight = from.x() == to.x() || from.y() == to.y();
        p.drawLine(from, straight ? to - step : to);
    });
    PenPos = to;
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    const QFont font = ToQFont(Font);
    const QFontMetrics metrics(font);
    WithPainter([&](QPainter& p) {
        if (Brush.Style != TBrushStyle::bsClear)
            p.fillRect(QRect(x, y, metrics.horizontalAdvance(text), metrics.height()), ToQColor(Brush.Color));
        p.setFont(font);
        p.setPen(ToQColor(Font.Color));
        p.drawText(x, y + metrics.ascent(), text);
    });
    PenPos = QPoint(x + metrics.horizontalAdvance(text), y);
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const QString& text)
{
    const QFont font = ToQFont(Font);
    const QFontMetrics metrics(font);
    WithPainter([&](QPainter& p) {
        p.setClipRect(rect.ToQRect());
        if (Brush.Style != TBrushStyle::bsClear)
            p.fillRect(rect.ToQRect(), ToQColor(Brush.Color));
        p.setFont(font);
        p.setPen(ToQColor(Font.Color));
        p.drawText(x, y + metrics.ascent(), text);
    });
}

int TCanvas::TextWidth(const QString& text) const
{
    return QFontMetrics(ToQFont(Font)).horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString& text) const
{
    // The height of the font's cell, whatever the text.
    (void)text;
    return QFontMetrics(ToQFont(Font)).height();
}

void TCanvas::SetPixel(int x, int y, TColor color)
{
    PatBlt(m_target, Bounds(x, y, 1, 1), color, PATCOPY);
}

void TCanvas::Draw(int x, int y, TGraphic& graphic)
{
    graphic.Draw(*this, Bounds(x, y, graphic.Width(), graphic.Height()));
}

void TCanvas::StretchDraw(const TRect& rect, TGraphic& graphic)
{
    graphic.Draw(*this, rect);
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect)
{
    StretchBlt(m_target, dest, source.Bitmap(), sourceRect, CopyMode);
}

} // namespace orvex
