#include "Gauge.h"

#include "Exceptions.h"

#include <QPainter>
#include <cmath>
#include <limits>

namespace orvex {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the fill length is defined in the 80-bit extended format");

void TBltBitmap::MakeLike(const TBitmap& pattern)
{
    SetSize(pattern.Width(), pattern.Height());
    Canvas().Brush.Color = clWindowFrame;
    Canvas().Brush.Style = TBrushStyle::bsSolid;
    Canvas().FillRect(Bounds(0, 0, Width(), Height()));
}

int FillLength(int percent, int size)
{
    // Each product is held to extended precision before the next step; the
    // volatile stores keep the compiler from fusing or reordering them.
    volatile long double hundredth = 0.01L;
    volatile long double share = percent * hundredth;
    volatile long double length = size * share;
    return static_cast<int>(length);
}

namespace {

void Blackness(TBitmap& bitmap)
{
    PatBlt(bitmap, Bounds(0, 0, bitmap.Width(), bitmap.Height()), clBlack, BLACKNESS);
}

// The nearest integer, halves going to the even neighbour.
int Nearest(double x)
{
    return static_cast<int>(std::nearbyint(x));
}

} // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 100);
}

void TGauge::SetMinValue(std::int32_t value)
{
    if (value == m_minValue)
        return;
    if (value > m_maxValue && !Loading)
        throw EInvalidOperation(QStringLiteral("Value must be between %1 and %2")
                                    .arg(-2147483647)
                                    .arg(static_cast<std::int64_t>(m_maxValue) - 1));
    m_minValue = value;
    if (m_progress < value)
        m_progress = value;
    Repaint();
}

void TGauge::SetMaxValue(std::int32_t value)
{
    if (value == m_maxValue)
        return;
    if (value < m_minValue && !Loading)
        throw EInvalidOperation(QStringLiteral("Value must be between %1 and %2")
                                    .arg(static_cast<std::int64_t>(m_minValue) + 1)
                                    .arg(2147483647));
    m_maxValue = value;
    if (m_progress > value)
        m_progress = value;
    Repaint();
}

void TGauge::SetProgress(std::int32_t value)
{
    const int old = PercentDone();
    if (value < m_minValue)
        value = m_minValue;
    else if (value > m_maxValue)
        value = m_maxValue;
    if (value == m_progress)
        return;
    m_progress = value;
    if (PercentDone() != old)
        Repaint();
}

int TGauge::PercentDone() const
{
    const std::int64_t range = static_cast<std::int64_t>(m_maxValue) - m_minValue;
    const std::int64_t done = static_cast<std::int64_t>(m_progress) - m_minValue;
    return range == 0 ? 0 : static_cast<int>(done * 100 / range);
}

void TGauge::SetKind(TGaugeKind value)
{
    Change(m_kind, value);
}

void TGauge::SetShowText(bool value)
{
    Change(m_showText, value);
}

void TGauge::SetBorderStyle(TBorderStyle value)
{
    Change(m_borderStyle, value);
}

void TGauge::SetForeColor(TColor value)
{
    Change(m_foreColor, value);
}

void TGauge::SetBackColor(TColor value)
{
    Change(m_backColor, value);
}

void TGauge::Repaint()
{
    ++m_repaints;
    // The gauge paints every pixel it covers, so it is drawn at once.
    if (isVisible())
        repaint();
}

TRect TGauge::PaintRect() const
{
    TRect rect = Bounds(0, 0, width(), height());
    if (m_borderStyle == TBorderStyle::bsSingle)
        rect = Rect(rect.Left + 1, rect.Top + 1, rect.Right - 1, rect.Bottom - 1);
    return rect;
}

TBitmap TGauge::Render() const
{
    // The ring outside the paint rectangle stays black: that is the border.
    TBitmap image(width(), height(), TPixelFormat::pfDevice);
    Blackness(image);
    const TRect rect = PaintRect();
    {
        TBltBitmap overlay;
        overlay.MakeLike(image);
        Blackness(overlay);
        switch (m_kind) {
        case TGaugeKind::gkText:
            overlay.Canvas().Brush.Color = m_backColor;
            overlay.Canvas().FillRect(rect);
            break;
        case TGaugeKind::gkHorizontalBar:
        case TGaugeKind::gkVerticalBar: PaintBar(overlay, rect); break;
        case TGaugeKind::gkPie: PaintPie(overlay, rect); break;
        case TGaugeKind::gkNeedle: PaintNeedle(overlay, rect); break;
        }
        // Over black, exclusive or is a plain copy.
        BitBlt(image, 0, 0, image.Width(), image.Height(), overlay, 0, 0, SRCINVERT);
    }
    if (m_showText)
        PaintText(image, rect);
    return image;
}

void TGauge::PaintBar(TBitmap& overlay, const TRect& rect) const
{
    TCanvas& canvas = overlay.Canvas();
    const int w = rect.Right - rect.Left + 1;
    const int h = rect.Bottom - rect.Top + 1;
    canvas.Brush.Color = m_backColor;
    canvas.FillRect(rect);
    canvas.Pen.Color = m_foreColor;
    canvas.Pen.Width = 1;
    canvas.Brush.Color = m_foreColor;
    if (m_kind == TGaugeKind::gkHorizontalBar) {
        int fill = FillLength(PercentDone(), w);
        if (fill > w)
            fill = w;
        // The fill's right and bottom are absolute coordinates, not offsets.
        if (fill >= 1)
            canvas.Rectangle(Rect(rect.Left, rect.Top, fill, h));
    } else {
        int fill = FillLength(PercentDone(), h);
        if (fill >= h)
            fill = h - 1;
        canvas.Rectangle(Rect(rect.Left, h - fill, w, h));
    }
}

QSize TGauge::PrepareDial(TCanvas& canvas, const TRect& rect) const
{
    // The pie and the needle stand on the surround colour, their face in the
    // back colour, outlined in the fore colour.
    int w = rect.Right - rect.Left;
    int h = rect.Bottom - rect.Top;
    if (m_borderStyle == TBorderStyle::bsSingle) {
        ++w;
        ++h;
    }
    canvas.Brush.Color = Color;
    canvas.FillRect(rect);
    canvas.Brush.Color = m_backColor;
    canvas.Pen.Color = m_foreColor;
    canvas.Pen.Width = 1;
    return QSize(w, h);
}

void TGauge::PaintPie(TBitmap& overlay, const TRect& rect) const
{
    TCanvas& canvas = overlay.Canvas();
    const QSize dial = PrepareDial(canvas, rect);
    const int w = dial.width(), h = dial.height();
    canvas.Ellipse(Rect(rect.Left, rect.Top, w, h));
    if (PercentDone() > 0) {
        canvas.Brush.Color = m_foreColor;
        const int mx = w / 2, my = h / 2;
        const double angle = (PercentDone() / 50.0 + 0.5) * M_PI;
        canvas.Pie(rect.Left, rect.Top, w, h, Nearest(mx * (1 - std::cos(angle))), Nearest(my * (1 - std::sin(angle))),
                   mx, 0);
    }
}

void TGauge::PaintNeedle(TBitmap& overlay, const TRect& rect) const
{
    TCanvas& canvas = overlay.Canvas();
    const QSize dial = PrepareDial(canvas, rect);
    const int w = dial.width(), h = dial.height();
    // The upper half of the ellipse, and its base line.
    canvas.Pie(rect.Left, rect.Top, w, h * 2 - 1, rect.Left + w, rect.Bottom - 1, rect.Left, rect.Bottom - 1);
    canvas.MoveTo(rect.Left, rect.Bottom);
    canvas.LineTo(rect.Left + w, rect.Bottom);
    if (PercentDone() > 0) {
        canvas.Pen.Color = m_foreColor;
        const int hx = width() / 2;
        const double angle = PercentDone() / 100.0 * M_PI;
        canvas.MoveTo(hx, rect.Bottom - 1);
        canvas.LineTo(Nearest(hx * (1 - std::cos(angle))), Nearest((rect.Bottom - 1) * (1 - std::sin(angle))));
    }
}

void TGauge::PaintText(TBitmap& image, const TRect& rect) const
{
    // White text on black, combined by exclusive or: every pixel of the text
    // shows the inverse of what lies under it.
    TBltBitmap textImage;
    textImage.MakeLike(image);
    Blackness(textImage);
    const QString text = QStringLiteral("%1%").arg(PercentDone());
    TCanvas& canvas = textImage.Canvas();
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Font = Font;
    canvas.Font.Color = clWhite;
    const int x = ((rect.Right - rect.Left + 1) - canvas.TextWidth(text)) / 2;
    const int y = ((rect.Bottom - rect.Top + 1) - canvas.TextHeight(text)) / 2;
    canvas.TextRect(rect, x, y, text);
    BitBlt(image, 0, 0, image.Width(), image.Height(), textImage, 0, 0, SRCINVERT);
}

void TGauge::paintEvent(QPaintEvent*)
{
    const TBitmap image = Render();
    QPainter painter(this);
    painter.drawImage(0, 0, image.Image());
}

} // namespace orvex
