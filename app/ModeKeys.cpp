// Keys only reach what the user sees: the controls of the mode that is not
// shown (its group pushed below the window's edge) take no focus, no Tab stop
// and no mnemonic until their mode is shown again.

#include "Unit1.h"

#include <QAbstractButton>
#include <QApplication>

namespace orvex {

void TfrmOrvex::KeepKeysToMode(QWidget* hidden)
{
    for (const KeptKeys& kept : m_keysKept) {
        if (!kept.control)
            continue;
        kept.control->setFocusPolicy(kept.focus);
        if (auto* label = qobject_cast<QLabel*>(kept.control.data()); label && kept.buddy)
            label->setBuddy(kept.buddy);
        if (auto* button = qobject_cast<QAbstractButton*>(kept.control.data()); button && !kept.shortcut.isEmpty())
            button->setShortcut(kept.shortcut);
    }
    m_keysKept.clear();
    m_hiddenGroup = hidden;
    for (QWidget* control : hidden->findChildren<QWidget*>()) {
        // A part whose focus goes to its control (a list's viewport) is
        // left alone: setting its policy would set the control's.
        if (control->focusProxy())
            continue;
        KeptKeys kept{control, control->focusPolicy(), nullptr, {}};
        if (auto* label = qobject_cast<QLabel*>(control)) {
            kept.buddy = label->buddy();
            label->setBuddy(nullptr);
        }
        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            kept.shortcut = button->shortcut();
            button->setShortcut(QKeySequence());
        }
        control->setFocusPolicy(Qt::NoFocus);
        m_keysKept.push_back(kept);
    }
    // The focus leaves what went out of sight for the mode button.
    if (QWidget* focus = QApplication::focusWidget(); focus && hidden->isAncestorOf(focus))
        (rdButtonLOCALAudio->isChecked() ? rdButtonLOCALAudio : rdButtonSERVERAudio)->setFocus(Qt::OtherFocusReason);
}

bool TfrmOrvex::focusNextPrevChild(bool next)
{
    // Controls the hidden group made after it was hidden (the browser's
    // view makes its own when its engine starts) are passed over too.
    const QWidget* start = QApplication::focusWidget();
    for (int step = 0; step < 64; ++step) {
        if (!TForm::focusNextPrevChild(next))
            return false;
        QWidget* now = QApplication::focusWidget();
        if (!m_hiddenGroup || !now || !m_hiddenGroup->isAncestorOf(now) || now == start)
            return true;
    }
    return true;
}

} // namespace orvex
