#include "StdControls.h"

#include "Application.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace orvex {

// ---- TImage

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    // Every paint covers the whole control, the parent's background under a
    // see-through picture included: Qt need not paint the parent first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_picture.OnChange = [this](TPicture&) { PictureChanged(); };
}

void TImage::SetStretch(bool value)
{
    m_stretch = value;
    update();
}

void TImage::SetTransparent(bool value)
{
    m_transparent = value;
    if (TGraphic* graphic = m_picture.Graphic())
        graphic->SetTransparent(value);
    update();
}

void TImage::SetCenter(bool value)
{
    m_center = value;
    update();
}

void TImage::PictureChanged()
{
    // A picture taken in later follows the control's transparency.
    if (TGraphic* graphic = m_picture.Graphic(); graphic && graphic->Transparent() != m_transparent)
        graphic->SetTransparent(m_transparent);
    m_drawFailed = false;
    if (!m_painting)
        update();
}

TRect TImage::DestRect() const
{
    if (m_stretch)
        return Bounds(0, 0, width(), height());
    const int w = m_picture.Width(), h = m_picture.Height();
    if (m_center)
        return Bounds((width() - w) / 2, (height() - h) / 2, w, h);
    return Bounds(0, 0, w, h);
}

TBitmap TImage::Render()
{
    TBitmap buffer(width(), height(), TPixelFormat::pfDevice);
    if (QWidget* parent = parentWidget(); parent && m_transparent) {
        // Under a see-through picture lies what the parent itself draws there
        // (its background and frame, not its other children).
        QImage back(size(), QImage::Format_RGB32);
        parent->render(&back, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
        buffer.Assign(back);
    } else {
        buffer.Canvas().Brush.Color = FromQColor(palette().color(backgroundRole()));
        buffer.Canvas().FillRect(Bounds(0, 0, width(), height()));
    }
    if (TGraphic* graphic = m_picture.Graphic(); graphic && !graphic->Empty() && !m_drawFailed)
        buffer.Canvas().StretchDraw(DestRect(), *graphic);
    return buffer;
}

void TImage::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    m_painting = true;
    TBitmap buffer;
    try {
        buffer = Render();
    } catch (...) {
        // A failure may not leave a paint handler: it reaches the
        // application's handler from the message loop, and the control
        // shows its background meanwhile.
        m_drawFailed = true;
        QMetaObject::invokeMethod(
            this, [error = std::current_exception()] { Application().HandleException(error); },
            Qt::QueuedConnection);
        buffer = Render();
    }
    m_painting = false;
    QPainter painter(this);
    painter.drawImage(0, 0, buffer.Image());
}

// ---- TBitBtn

TBitBtn::TBitBtn(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void TBitBtn::SetGlyph(const TBitmap& glyph, int numGlyphs)
{
    m_glyph = glyph;
    m_numGlyphs = std::max(1, numGlyphs);
    update();
}

QImage TBitBtn::CurrentGlyph() const
{
    if (m_glyph.Empty())
        return {};
    const int w = m_glyph.Width() / m_numGlyphs;
    const int index = (!isEnabled() && m_numGlyphs > 1) ? 1 : 0;
    QImage image = m_glyph.Image().copy(index * w, 0, w, m_glyph.Height()).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = m_glyph.Image().pixel(0, m_glyph.Height() - 1) & 0xFFFFFF;
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if ((line[x] & 0xFFFFFF) == key)
                line[x] = 0;
    }
    return image;
}

void TBitBtn::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButtonBevel, option);

    // Glyph and caption are centred together, Spacing pixels apart; the
    // pressed button shifts its content by one pixel.
    const QImage glyph = CurrentGlyph();
    const QFontMetrics metrics(font());
    const QString caption = text();
    QString shown = caption;
    shown.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    const int textWidth = metrics.horizontalAdvance(shown);
    const int gap = glyph.isNull() || caption.isEmpty() ? 0 : Spacing;
    const int total = glyph.width() + gap + textWidth;
    const int shift = isDown() ? 1 : 0;
    int x = (width() - total) / 2 + shift;
    if (!glyph.isNull()) {
        painter.drawImage(x, (height() - glyph.height()) / 2 + shift, glyph);
        x += glyph.width() + gap;
    }
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(QRect(x, shift, textWidth + 2, height()), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic,
                     caption);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(4, 4, -4, -4);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

// ---- TStaticText

TStaticText::TStaticText(QWidget* parent) : QLabel(parent)
{
    setMouseTracking(true);
    setTextFormat(Qt::PlainText);
}

void TStaticText::SetCaption(const QString& caption)
{
    setText(caption);
    adjustSize();
}

void TStaticText::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit MouseMove(event->modifiers(), at.x(), at.y());
    QLabel::mouseMoveEvent(event);
}

// ---- TLabel

TLabel::TLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {}

void TLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

// ---- TBevel

TBevel::TBevel(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

} // namespace orvex
