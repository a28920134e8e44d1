#include "Forms.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QResizeEvent>
#include <QScreen>
#include <algorithm>

namespace orvex {

namespace {

// A hidden widget hears of a new size only when it is shown; anchors and the
// program's resize work must not wait for that, so hidden widgets are told
// at once.
void ResizeNow(QWidget* widget, const QRect& geometry)
{
    const QSize old = widget->size();
    widget->setGeometry(geometry);
    if (!widget->isVisible() && widget->size() != old) {
        QResizeEvent event(widget->size(), old);
        QCoreApplication::sendEvent(widget, &event);
    }
}

// Watches a parent and moves its anchored children by the change of its size.
class AnchorKeeper : public QObject {
public:
    static constexpr const char* kName = "orvexAnchorKeeper";

    explicit AnchorKeeper(QWidget* parent) : QObject(parent), m_parent(parent), m_size(parent->size())
    {
        setObjectName(QLatin1String(kName));
    }

    void Add(QWidget* child, unsigned anchors)
    {
        std::erase_if(m_children, [&](const Entry& e) { return e.child == child || e.child.isNull(); });
        m_children.push_back({child, anchors});
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_parent && event->type() == QEvent::Resize && m_parent->size() != m_size) {
            const int dw = m_parent->width() - m_size.width();
            const int dh = m_parent->height() - m_size.height();
            m_size = m_parent->size();
            for (const Entry& e : m_children) {
                if (!e.child)
                    continue;
                QRect r = e.child->geometry();
                if (e.anchors & akRight) {
                    if (e.anchors & akLeft)
                        r.setWidth(r.width() + dw);
                    else
                        r.moveLeft(r.left() + dw);
                }
                if (e.anchors & akBottom) {
                    if (e.anchors & akTop)
                        r.setHeight(r.height() + dh);
                    else
                        r.moveTop(r.top() + dh);
                }
                ResizeNow(e.child, r);
            }
        }
        return false;
    }

private:
    struct Entry {
        QPointer<QWidget> child;
        unsigned anchors;
    };
    QWidget* m_parent;
    QSize m_size;
    std::vector<Entry> m_children;
};

} // namespace

void SetAnchors(QWidget* control, unsigned anchors)
{
    QWidget* parent = control->parentWidget();
    if (!parent)
        return;
    auto* keeper = static_cast<AnchorKeeper*>(
        parent->findChild<QObject*>(QLatin1String(AnchorKeeper::kName), Qt::FindDirectChildrenOnly));
    if (!keeper) {
        keeper = new AnchorKeeper(parent);
        parent->installEventFilter(keeper);
    }
    keeper->Add(control, anchors);
}

void SetColor(QWidget* control, TColor color, bool opaque)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::Window, ToQColor(color));
    palette.setColor(QPalette::Base, ToQColor(color));
    control->setPalette(palette);
    control->setAutoFillBackground(opaque);
}

void SetFontColor(QWidget* control, TColor color)
{
    QPalette palette = control->palette();
    palette.setColor(QPalette::WindowText, ToQColor(color));
    palette.setColor(QPalette::Text, ToQColor(color));
    palette.setColor(QPalette::ButtonText, ToQColor(color));
    control->setPalette(palette);
}

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window)
{
    // A small caption with a close button only; the size is the program's to set.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    m_lastSize = size();
}

void TForm::SetClientSize(int width, int height)
{
    width = std::max(width, m_minWidth - kFrameWidth);
    height = std::max(height, m_minHeight - kFrameHeight);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    ResizeNow(this, QRect(geometry().topLeft(), QSize(width, height)));
    setFixedSize(width, height);
}

void TForm::SetConstraints(int minWidth, int minHeight)
{
    m_minWidth = minWidth;
    m_minHeight = minHeight;
    SetClientSize(width(), height());
}

void TForm::CenterOnScreen()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - Width()) / 2, area.top() + (area.height() - Height()) / 2);
    }
}

void TForm::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (size() != m_lastSize) {
        m_lastSize = size();
        OnResize();
    }
}

} // namespace orvex
