#pragma once

#include "Graphics.h"

#include <QWidget>
#include <cstdint>

namespace orvex {

enum class TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };
enum class TBorderStyle { bsNone, bsSingle };

// A bitmap that can take another's size, filled with the window-frame colour.
class TBltBitmap : public TBitmap {
public:
    void MakeLike(const TBitmap& pattern);
};

// The part of a length that a percentage covers, truncated: size * (percent
// * 0.01) in 80-bit extended arithmetic, whose 0.01 lies just below one
// hundredth, so that some whole products come out one less (10 % of 100 is 9).
int FillLength(int percent, int size);

// Shows how far a value has come between a minimum and a maximum, as a bar,
// a pie or a needle, with the whole percentage written over it. Takes no
// focus; every frame is composed off-screen and shown in one piece.
class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    std::int32_t MinValue() const { return m_minValue; }
    std::int32_t MaxValue() const { return m_maxValue; }
    std::int32_t Progress() const { return m_progress; }
    // The range checks raise EInvalidOperation ("Value must be between %d and
    // %d") unless the gauge is Loading; the old values stay.
    void SetMinValue(std::int32_t value);
    void SetMaxValue(std::int32_t value);
    // Clamped to the bounds; repaints only when the whole percentage changes.
    void SetProgress(std::int32_t value);
    int PercentDone() const;

    TGaugeKind Kind() const { return m_kind; }
    void SetKind(TGaugeKind value);
    bool ShowText() const { return m_showText; }
    void SetShowText(bool value);
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void SetBorderStyle(TBorderStyle value);
    TColor ForeColor() const { return m_foreColor; }
    void SetForeColor(TColor value);
    TColor BackColor() const { return m_backColor; }
    void SetBackColor(TColor value);
    // The surround of the pie and the needle.
    TColor Color = clBtnFace;
    // Face, height and style of the percentage; its colour is not used.
    TFont Font;
    // While set, the range checks accept any value (as when a stored form loads).
    bool Loading = false;

    // Composes the frame the gauge shows.
    TBitmap Render() const;
    // How often the gauge asked to be redrawn.
    int RepaintCount() const { return m_repaints; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Repaint();
    // Stores a changed property and repaints; an unchanged one does nothing.
    template <class T>
    void Change(T& field, T value)
    {
        if (value != field) {
            field = value;
            Repaint();
        }
    }
    QSize PrepareDial(TCanvas& canvas, const TRect& rect) const;
    TRect PaintRect() const;
    void PaintBar(TBitmap& overlay, const TRect& rect) const;
    void PaintPie(TBitmap& overlay, const TRect& rect) const;
    void PaintNeedle(TBitmap& overlay, const TRect& rect) const;
    void PaintText(TBitmap& image, const TRect& rect) const;

    std::int32_t m_minValue = 0;
    std::int32_t m_maxValue = 100;
    std::int32_t m_progress = 0;
    TGaugeKind m_kind = TGaugeKind::gkHorizontalBar;
    bool m_showText = true;
    TBorderStyle m_borderStyle = TBorderStyle::bsSingle;
    TColor m_foreColor = clBlack;
    TColor m_backColor = clWhite;
    int m_repaints = 0;
};

} // namespace orvex
