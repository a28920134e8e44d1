#pragma once

#include "Graphics.h"
#include "Picture.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace orvex {

// An image control: draws its picture into its client area over a back
// buffer, stretched or at its natural size, see-through where the picture is
// transparent, and repaints when the picture changes.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

    TPicture& Picture() { return m_picture; }
    bool Stretch() const { return m_stretch; }
    void SetStretch(bool value);
    bool Transparent() const { return m_transparent; }
    void SetTransparent(bool value);
    bool Center() const { return m_center; }
    void SetCenter(bool value);

    // Where the picture is drawn within the control.
    TRect DestRect() const;
    // Renders what the control shows, background included, into the
    // control's buffer and returns a copy of it.
    TBitmap Render();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void PictureChanged();
    // The buffer's content no longer holds: the next paint renders it anew.
    void Invalidate();
    void RenderBuffer();
    // What the parent draws under a see-through picture. An animation
    // repaints the control many times a second over the same background, so
    // it is drawn once and kept until the parent, or the control's place on
    // it, may have changed.
    QImage ParentBackground();
    void WatchParent();
    // What the control shows. Its canvas is the surface the picture draws
    // on, the same from paint to paint while the size holds, so that a
    // picture that keeps drawing there (an animation painting directly)
    // draws into a live bitmap, and its frames show in the next paint.
    // Declared before the picture, which goes first and stops its painters.
    std::unique_ptr<TBitmap> m_buffer;
    TPicture m_picture;
    QImage m_background;
    // The buffer needs rendering: something that it shows has changed since.
    bool m_stale = true;
    // Inside RenderBuffer: the buffer's own changes are part of the render.
    bool m_rendering = false;
    QObject* m_watchedParent = nullptr;
    bool m_stretch = false;
    bool m_transparent = false;
    bool m_center = false;
    // Inside paintEvent: a picture that changes meanwhile (an animation's
    // first frame) shows in this very paint and asks for no other.
    bool m_painting = false;
    // The picture failed to draw: it is left out until it changes, so that
    // one broken picture reports once instead of on every paint.
    bool m_drawFailed = false;
};

// A push button with a glyph: a bitmap holding NumGlyphs images side by side
// (enabled, then disabled), drawn left of the caption with Spacing pixels
// between them. The glyph's bottom-left colour is see-through.
class TBitBtn : public QPushButton {
    Q_OBJECT
public:
    explicit TBitBtn(const QString& caption, QWidget* parent = nullptr);

    void SetGlyph(const TBitmap& glyph, int numGlyphs);
    const TBitmap& Glyph() const { return m_glyph; }
    int NumGlyphs() const { return m_numGlyphs; }
    int Spacing = 4;
    // The glyph image drawn in the current state.
    QImage CurrentGlyph() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TBitmap m_glyph;
    int m_numGlyphs = 1;
};

// Static text that sizes itself to its text.
class TStaticText : public QLabel {
    Q_OBJECT
public:
    explicit TStaticText(QWidget* parent = nullptr);
    void SetCaption(const QString& caption);
    QString Caption() const { return text(); }

signals:
    void MouseMove(Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

// A label that reports clicks.
class TLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLabel(const QString& caption, QWidget* parent = nullptr);

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// A sunken frame.
class TBevel : public QFrame {
    Q_OBJECT
public:
    explicit TBevel(QWidget* parent = nullptr);
};

} // namespace orvex
