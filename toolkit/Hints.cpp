#include "Hints.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QWidget>

namespace orvex {

namespace {

// Shows a widget's hint itself when the hint label would take it for rich
// text; every other hint goes its usual way.
class PlainHintFilter : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ToolTip || !watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        const QString hint = widget->toolTip();
        if (hint.isEmpty() || !Qt::mightBeRichText(hint))
            return false;
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), PlainHintText(hint), widget, QRect(), widget->toolTipDuration());
        return true;
    }
};

} // namespace

void ShowHintsAsPlainText()
{
    static PlainHintFilter* filter = nullptr;
    if (filter || !qApp)
        return;
    filter = new PlainHintFilter(qApp);
    qApp->installEventFilter(filter);
}

QString PlainHintText(const QString& text)
{
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace orvex
