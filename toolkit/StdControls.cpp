#include "StdControls.h"

#include "Application.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace orvex {

// ---- TImage

namespace {

// Image controls drawing what their parent shows under them; widgets live
// on the main thread alone.
int drawingBackgrounds = 0;

} // namespace

TImage::TImage(QWidget* parent) : QWidget(parent)
{
    // Every paint covers the whole control, the parent's background under a
    // see-through picture included: Qt need not paint the parent first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_picture.OnChange = [this](TPicture&) { PictureChanged(); };
    WatchParent();
}

void TImage::WatchParent()
{
    if (m_watchedParent == parentWidget())
        return;
    if (m_watchedParent)
        m_watchedParent->removeEventFilter(this);
    m_watchedParent = parentWidget();
    if (m_watchedParent)
        m_watchedParent->installEventFilter(this);
    m_background = QImage();
    Invalidate();
}

void TImage::Invalidate()
{
    m_stale = true;
}

bool TImage::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::ParentChange:
        WatchParent();
        break;
    case QEvent::Move:
    case QEvent::Resize:
        m_background = QImage();
        Invalidate();
        break;
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
        Invalidate();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TImage::eventFilter(QObject* watched, QEvent* event)
{
    // The parent's paint into a kept background (this control's or a
    // sibling's) changes nothing.
    if (watched == m_watchedParent && drawingBackgrounds == 0) {
        switch (event->type()) {
        // The parent painting itself may mean it looks different now; the
        // others change how it paints.
        case QEvent::Paint:
        case QEvent::Resize:
        case QEvent::PaletteChange:
        case QEvent::StyleChange:
        case QEvent::FontChange:
        case QEvent::EnabledChange:
        case QEvent::LayoutDirectionChange:
        case QEvent::ApplicationPaletteChange:
        case QEvent::ApplicationFontChange:
        case QEvent::WindowTitleChange:
        case QEvent::Polish:
            m_background = QImage();
            Invalidate();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QImage TImage::ParentBackground()
{
    // A hidden parent gets no paint events that would tell of its changes.
    if (!parentWidget()->isVisible()) {
        m_background = QImage();
        Invalidate();
    }
    if (m_background.size() != size()) {
        // Under a see-through picture lies what the parent itself draws there
        // (its background and frame, not its other children).
        QImage back(size(), QImage::Format_RGB32);
        struct Drawing {
            Drawing() { ++drawingBackgrounds; }
            ~Drawing() { --drawingBackgrounds; }
            Drawing(const Drawing&) = delete;
            Drawing& operator=(const Drawing&) = delete;
        } drawing;
        parentWidget()->render(&back, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
        m_background = back;
    }
    return m_background;
}

void TImage::SetStretch(bool value)
{
    m_stretch = value;
    Invalidate();
    update();
}

void TImage::SetTransparent(bool value)
{
    m_transparent = value;
    m_background = QImage();
    Invalidate();
    if (TGraphic* graphic = m_picture.Graphic())
        graphic->SetTransparent(value);
    update();
}

void TImage::SetCenter(bool value)
{
    m_center = value;
    Invalidate();
    update();
}

void TImage::PictureChanged()
{
    // A picture taken in later follows the control's transparency.
    if (TGraphic* graphic = m_picture.Graphic(); graphic && graphic->Transparent() != m_transparent)
        graphic->SetTransparent(m_transparent);
    m_drawFailed = false;
    Invalidate();
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
    RenderBuffer();
    return *m_buffer;
}

void TImage::RenderBuffer()
{
    if (!m_buffer || m_buffer->Width() != width() || m_buffer->Height() != height()) {
        // A new size is a new surface: whatever drew on the old one stops.
        m_buffer = std::make_unique<TBitmap>(width(), height(), TPixelFormat::pfDevice);
        m_buffer->OnChange = [this](TGraphic&) {
            // Something that kept the surface drew a new frame on it.
            if (!m_rendering && !m_painting)
                update();
        };
    }
    m_rendering = true;
    struct Rendering {
        bool& flag;
        ~Rendering() { flag = false; }
    } rendering{m_rendering};
    TBitmap& buffer = *m_buffer;
    if (parentWidget() && m_transparent) {
        buffer.Assign(ParentBackground());
    } else {
        buffer.Canvas().Brush.Color = FromQColor(palette().color(backgroundRole()));
        buffer.Canvas().FillRect(Bounds(0, 0, width(), height()));
    }
    if (TGraphic* graphic = m_picture.Graphic(); graphic && !graphic->Empty() && !m_drawFailed)
        buffer.Canvas().StretchDraw(DestRect(), *graphic);
    // A change the picture reported while it drew is part of this render.
    m_stale = false;
}

void TImage::paintEvent(QPaintEvent*)
{
    if (width() <= 0 || height() <= 0)
        return;
    // The buffer is rendered again only when what it shows has changed; a
    // repaint for any other reason (the window uncovered, a picture that
    // draws on it by itself) shows it as it is.
    if (m_stale || !m_buffer || m_buffer->Width() != width() || m_buffer->Height() != height()) {
        m_painting = true;
        try {
            RenderBuffer();
        } catch (...) {
            // A failure may not leave a paint handler: it reaches the
            // application's handler from the message loop, and the control
            // shows its background meanwhile.
            m_drawFailed = true;
            QMetaObject::invokeMethod(
                this, [error = std::current_exception()] { Application().HandleException(error); },
                Qt::QueuedConnection);
            try {
                RenderBuffer();
            } catch (...) {
                m_painting = false;
                throw;
            }
        }
        m_painting = false;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, m_buffer->Image());
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
