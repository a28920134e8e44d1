#pragma once

#include "Colors.h"

#include <QWidget>

class QAbstractButton;
class QLabel;

namespace orvex {

enum TAnchor : unsigned { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

// Keeps a child's edges at their distance from the parent's edges as the
// parent resizes: left and right anchors stretch it, a right anchor alone
// moves it. Left and top are the default and need no call.
void SetAnchors(QWidget* control, unsigned anchors);

// Sets a control's background colour and whether it paints it (a
// transparent control shows its parent through).
void SetColor(QWidget* control, TColor color, bool opaque = true);
void SetFontColor(QWidget* control, TColor color);

// Places a control at left, top, width, height within its parent.
inline void SetBounds(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(left, top, width, height);
}

// A top-level window with a small caption and a fixed size the user cannot
// change. Width and Height are the outer size, frame and caption included;
// OnResize runs whenever the size changes, shown or not.
class TForm : public QWidget {
    Q_OBJECT
public:
    // The frame a small-caption window draws around its client area.
    static constexpr int kFrameWidth = 6;
    static constexpr int kFrameHeight = 31;

    explicit TForm(QWidget* parent = nullptr);

    int Width() const { return width() + kFrameWidth; }
    int Height() const { return height() + kFrameHeight; }
    void SetWidth(int outer) { SetClientSize(outer - kFrameWidth, height()); }
    void SetHeight(int outer) { SetClientSize(width(), outer - kFrameHeight); }
    int ClientWidth() const { return width(); }
    int ClientHeight() const { return height(); }
    void SetClientSize(int width, int height);
    // The smallest outer size the window takes.
    void SetConstraints(int minWidth, int minHeight);
    void CenterOnScreen();

protected:
    virtual void OnResize() {}
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize m_lastSize;
    int m_minWidth = 0, m_minHeight = 0;
};

} // namespace orvex
