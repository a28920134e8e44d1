// The window side of the media player bar: its glyphs, layout, painting,
// mouse and keyboard, and the rules by which it enables its own buttons.
#include "MediaPlayer.h"

#include "Application.h"
#include "Streams.h"

#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

static void InitGlyphResources()
{
    Q_INIT_RESOURCE(glyphs);
}

namespace orvex {

namespace {

const char* const kStems[kButtonKinds] = {"MPPLAY", "MPPAUSE", "MPSTOP", "MPNEXT", "MPPREV",
                                          "MPSTEP", "MPBACK", "MPRECORD", "MPEJECT"};
const char* const kPrefixes[3] = {"EN", "DI", "CL"}; // by glyph state

// The 27 glyphs, loaded from the program's resources once and shared by
// every bar (they never change).
struct GlyphSet {
    std::array<std::array<TBitmap, 3>, kButtonKinds> bitmaps;
    int widest = 0, tallest = 0;
};

const GlyphSet& Glyphs()
{
    static const GlyphSet set = [] {
        InitGlyphResources();
        GlyphSet glyphs;
        for (int kind = 0; kind < kButtonKinds; ++kind) {
            for (int state = 0; state < 3; ++state) {
                QFile file(QStringLiteral(":/orvex/glyphs/%1_%2").arg(QLatin1String(kPrefixes[state]),
                                                                       QLatin1String(kStems[kind])));
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QByteArray data = file.readAll();
                TMemoryStream stream(std::vector<std::uint8_t>(data.begin(), data.end()));
                TBitmap& bitmap = glyphs.bitmaps[static_cast<std::size_t>(kind)][static_cast<std::size_t>(state)];
                bitmap.LoadFromStream(stream);
                glyphs.widest = std::max(glyphs.widest, bitmap.Width());
                glyphs.tallest = std::max(glyphs.tallest, bitmap.Height());
            }
        }
        return glyphs;
    }();
    return set;
}

bool Has(TButtonSet set, int kind)
{
    return set & (1u << kind);
}

} // namespace

TMediaPlayer::TMediaPlayer(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A tab stop: a click plays without taking the focus from where the user works.
    setFocusPolicy(Qt::TabFocus);
    const GlyphSet& glyphs = Glyphs();
    m_minButtonWidth = glyphs.widest + 8;
    m_minButtonHeight = glyphs.tallest + 4;
    resize(240, 30);
}

TMediaPlayer::~TMediaPlayer()
{
    if (m_deviceId != 0) {
        MCI_GENERIC_PARMS close;
        mciSendCommand(m_deviceId, MCI_CLOSE, MCI_WAIT, &close);
    }
}

// ---- the sets

void TMediaPlayer::SetVisibleButtons(TButtonSet buttons)
{
    m_visibleButtons = buttons;
    for (int kind = 0; kind < kButtonKinds; ++kind)
        m_buttons[static_cast<std::size_t>(kind)].visible = Has(buttons, kind);
    if (Loading) {
        m_buttonWidth = (width() - 1) / VisibleCount() + 1;
        update();
    } else {
        AdjustSize();
    }
}

void TMediaPlayer::SetEnabledButtons(TButtonSet buttons)
{
    m_enabledButtons = buttons;
    for (int kind = 0; kind < kButtonKinds; ++kind)
        m_buttons[static_cast<std::size_t>(kind)].enabled = Has(buttons, kind);
    update();
}

void TMediaPlayer::SetColoredButtons(TButtonSet buttons)
{
    m_coloredButtons = buttons;
    for (int kind = 0; kind < kButtonKinds; ++kind)
        m_buttons[static_cast<std::size_t>(kind)].colored = Has(buttons, kind);
    update();
}

void TMediaPlayer::SetAutoEnable(bool value)
{
    if (value == m_autoEnable)
        return;
    m_autoEnable = value;
    if (value)
        ApplyAutoEnabled();
    else
        SetEnabledButtons(m_enabledButtons);
}

void TMediaPlayer::ApplyAutoEnabled()
{
    for (int kind = 0; kind < kButtonKinds; ++kind)
        m_buttons[static_cast<std::size_t>(kind)].autoEnabled = Has(m_autoEnabled, kind);
    update();
}

void TMediaPlayer::AutoButtonSet(TMPBtnType button)
{
    auto addPlayAndRecord = [this] {
        if (m_canPlay)
            m_autoEnabled |= Bit(btPlay);
        if (m_canRecord)
            m_autoEnabled |= Bit(btRecord);
    };
    switch (button) {
    case btPlay:
    case btRecord:
        m_autoEnabled &= static_cast<TButtonSet>(~(Bit(btPlay) | Bit(btRecord)));
        m_autoEnabled |= Bit(btPause) | Bit(btStop);
        break;
    case btPause: addPlayAndRecord(); break;
    default:
        addPlayAndRecord();
        m_autoEnabled &= static_cast<TButtonSet>(~(Bit(btPause) | Bit(btStop)));
        break;
    }
}

// ---- layout

int TMediaPlayer::VisibleCount() const
{
    int n = 0;
    for (const Button& b : m_buttons)
        n += b.visible;
    return n == 0 ? 1 : n;
}

void TMediaPlayer::AdjustSize()
{
    const int n = VisibleCount();
    if (m_buttonWidth <= 0)
        m_buttonWidth = (width() - 1) / n + 1;
    resize(n * (m_buttonWidth - 1) + 1, height());
    update();
}

void TMediaPlayer::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!Loading)
        Layout();
}

void TMediaPlayer::Layout()
{
    const int n = VisibleCount();
    m_buttonWidth = (width() - 1) / n + 1;
    int w = n * (m_buttonWidth - 1) + 1;
    w = std::max(w, n * (m_minButtonWidth - 1) + 1);
    const int h = std::max(height(), m_minButtonHeight);
    // The new size comes back here as another resize.
    if (w != width() || h != height())
        resize(w, h);
}

TRect TMediaPlayer::ButtonRect(TMPBtnType kind) const
{
    int left = 0;
    for (int k = 0; k < kind; ++k)
        if (m_buttons[static_cast<std::size_t>(k)].visible)
            left += m_buttonWidth - 1;
    return Rect(left, 0, left + m_buttonWidth, height());
}

int TMediaPlayer::ButtonAt(int x) const
{
    // Neighbours share a column; the left one of the two wins it.
    int left = 0;
    for (int kind = 0; kind < kButtonKinds; ++kind) {
        if (!m_buttons[static_cast<std::size_t>(kind)].visible)
            continue;
        if (left <= x && x <= left + m_buttonWidth)
            return kind;
        left += m_buttonWidth - 1;
    }
    return -1;
}

// ---- painting

bool TMediaPlayer::DecidingFlag(TMPBtnType kind) const
{
    const Button& b = m_buttons[static_cast<std::size_t>(kind)];
    return m_autoEnable ? b.autoEnabled : b.enabled;
}

int TMediaPlayer::GlyphState(TMPBtnType kind) const
{
    if (!isEnabled() || !DecidingFlag(kind))
        return 1;
    return m_buttons[static_cast<std::size_t>(kind)].colored ? 2 : 0;
}

TBitmap TMediaPlayer::Render() const
{
    TBitmap image(width(), height(), TPixelFormat::pfDevice);
    TCanvas& canvas = image.Canvas();
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Pen.Color = clWindowFrame;
    canvas.Rectangle(Rect(0, 0, width(), height()));
    int x = 0;
    for (int kind = 0; kind < kButtonKinds; ++kind) {
        if (!m_buttons[static_cast<std::size_t>(kind)].visible)
            continue;
        DrawButton(canvas, static_cast<TMPBtnType>(kind), x);
        x += m_buttonWidth - 1;
    }
    return image;
}

void TMediaPlayer::DrawButton(TCanvas& canvas, TMPBtnType kind, int x) const
{
    const bool down = m_down && kind == m_currentButton;
    const int w = m_buttonWidth, h = height();
    canvas.Brush.Style = TBrushStyle::bsSolid;
    canvas.Brush.Color = clBtnFace;
    canvas.Pen.Color = clWindowFrame;
    canvas.Pen.Width = 1;
    canvas.Rectangle(Rect(x, 0, x + w, h));

    // The bevel: lit from the top left, pressed in when down.
    canvas.Pen.Color = down ? clBtnShadow : clBtnHighlight;
    canvas.MoveTo(x + 1, h - 2);
    canvas.LineTo(x + 1, 1);
    canvas.LineTo(x + w - 1, 1);
    if (!down) {
        canvas.Pen.Color = clBtnShadow;
        canvas.MoveTo(x + 2, h - 2);
        canvas.LineTo(x + w - 2, h - 2);
        canvas.LineTo(x + w - 2, 1);
    }

    // The glyph, centred (one pixel down and right when pressed); its olive
    // pixels take the button face.
    const TBitmap& glyph = Glyphs().bitmaps[static_cast<std::size_t>(kind)][static_cast<std::size_t>(GlyphState(kind))];
    if (!glyph.Empty()) {
        const int gx = x + w / 2 - glyph.Width() / 2 + (down ? 1 : 0);
        const int gy = h / 2 - glyph.Height() / 2 + (down ? 1 : 0);
        TBitmap see(glyph);
        see.SetTransparentColor(clOlive);
        see.SetTransparent(true);
        canvas.Draw(gx, gy, see);
    }

    if (hasFocus() && kind == m_focusedButton) {
        // A dotted focus mark 3 pixels inside the button.
        TRect mark = Rect(x + 3, 3, x + w - 3, h - 3);
        if (down)
            mark = Rect(mark.Left + 1, mark.Top + 1, mark.Right + 1, mark.Bottom + 1);
        for (int px = mark.Left; px < mark.Right; px += 2) {
            PatBlt(canvas.Bitmap(), Bounds(px, mark.Top, 1, 1), clBlack, DSTINVERT);
            PatBlt(canvas.Bitmap(), Bounds(px, mark.Bottom - 1, 1, 1), clBlack, DSTINVERT);
        }
        for (int py = mark.Top + 2; py < mark.Bottom - 1; py += 2) {
            PatBlt(canvas.Bitmap(), Bounds(mark.Left, py, 1, 1), clBlack, DSTINVERT);
            PatBlt(canvas.Bitmap(), Bounds(mark.Right - 1, py, 1, 1), clBlack, DSTINVERT);
        }
    }
}

void TMediaPlayer::paintEvent(QPaintEvent*)
{
    const TBitmap image = Render();
    QPainter painter(this);
    painter.drawImage(0, 0, image.Image());
}

// ---- mouse

void TMediaPlayer::PressAt(int x)
{
    const int hit = ButtonAt(x);
    if (hit < 0 || !DecidingFlag(static_cast<TMPBtnType>(hit)))
        return;
    m_currentButton = static_cast<TMPBtnType>(hit);
    if (m_currentButton != m_focusedButton) {
        m_focusedButton = m_currentButton;
        repaint();
    }
    m_currentRect = ButtonRect(m_currentButton);
    m_pressed = true;
    m_down = true;
    // The widget under a press keeps the mouse until the release: no explicit capture.
    repaint();
}

void TMediaPlayer::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        Guarded([&] { PressAt(event->position().toPoint().x()); });
}

void TMediaPlayer::mouseDoubleClickEvent(QMouseEvent* event)
{
    mousePressEvent(event);
}

void TMediaPlayer::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressed)
        return;
    const QPoint at = event->position().toPoint();
    const bool inside = m_currentRect.ToQRect().contains(at);
    if (inside != m_down) {
        m_down = inside;
        repaint();
    }
}

void TMediaPlayer::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_pressed && m_down) {
        m_down = false;
        repaint();
        Guarded([this] {
            Click();
            if (m_autoEnable && m_error == 0 && m_deviceId != 0)
                ButtonUpdated();
        });
    }
    m_pressed = false;
}

void TMediaPlayer::PressButton(TMPBtnType kind)
{
    m_currentButton = kind;
    Click();
    if (m_autoEnable && m_error == 0 && m_opened)
        ButtonUpdated();
}

void TMediaPlayer::ButtonUpdated()
{
    AutoButtonSet(m_currentButton);
    ApplyAutoEnabled();
}

// ---- keyboard

void TMediaPlayer::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (m_buttons[static_cast<std::size_t>(m_focusedButton)].enabled) {
            m_currentButton = m_focusedButton;
            Guarded([this] {
                Click();
                if (m_autoEnable)
                    ButtonUpdated();
            });
        }
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        // The arrows stay with the bar: they move its focus between buttons.
        const bool left = event->key() == Qt::Key_Left;
        int next = left ? btPlay : btEject;
        for (int k = m_focusedButton + (left ? -1 : 1); k >= 0 && k < kButtonKinds; k += left ? -1 : 1) {
            if (m_buttons[static_cast<std::size_t>(k)].visible) {
                next = k;
                break;
            }
        }
        if (next != m_focusedButton) {
            m_focusedButton = static_cast<TMPBtnType>(next);
            update();
        }
        return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down: return;
    default: QWidget::keyPressEvent(event);
    }
}

void TMediaPlayer::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    repaint();
}

void TMediaPlayer::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    repaint();
}

// ---- clicks

void TMediaPlayer::Click()
{
    bool doDefault = true;
    DoClick(m_currentButton, doDefault);
    if (!doDefault)
        return;
    switch (m_currentButton) {
    case btPlay: Play(); break;
    case btPause: Pause(); break;
    case btStop: Stop(); break;
    case btNext: Next(); break;
    case btPrev: Previous(); break;
    case btStep: Step(); break;
    case btBack: Back(); break;
    case btRecord: StartRecording(); break;
    case btEject: Eject(); break;
    }
    // Next and Previous may have turned the click into a play.
    DoPostClick(m_currentButton);
}

void TMediaPlayer::DoClick(TMPBtnType button, bool& doDefault)
{
    if (OnClick)
        OnClick(*this, button, doDefault);
}

void TMediaPlayer::DoPostClick(TMPBtnType button)
{
    if (OnPostClick)
        OnPostClick(*this, button);
}

} // namespace orvex
