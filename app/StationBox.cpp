// The station box: a station's name plays as the box completes it or on
// Enter, an address typed into it plays on Enter, and other text changes
// nothing (Enter says there is no such station, Esc brings back the name of
// the station that plays).

#include "StationBox.h"

#include "Application.h"
#include "Unit1.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QToolTip>

namespace orvex {

namespace {

const QString kNoSuchStation = QStringLiteral("Nenhuma esta\u00e7\u00e3o com esse nome");

// A host name or IPv4 address, a port and a path: what the address field
// takes without a scheme.
const QRegularExpression kHostPort(QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*:[0-9]{1,5}(/\\S*)?$"));
const QRegularExpression kHostPath(QStringLiteral("^[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*/\\S*$"));
const QRegularExpression kStreamScheme(QStringLiteral("^(https?|mms)://[^/\\s]+\\S*$"),
                                       QRegularExpression::CaseInsensitiveOption);

} // namespace

TypedAddress PickAddress(const QString& text)
{
    TypedAddress typed;
    const QString address = text.trimmed();
    if (kStreamScheme.match(address).hasMatch()) {
        typed.http = !address.startsWith(QLatin1String("mms:"), Qt::CaseInsensitive);
    } else if (!kHostPort.match(address).hasMatch() && !kHostPath.match(address).hasMatch()) {
        return typed;
    }
    typed.ok = true;
    typed.address = address;
    return typed;
}

int TypedStation(const QStringList& names, const QString& text, int completed)
{
    if (completed > 0 && text.size() - completed < 2)
        return -1;
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void TfrmOrvex::CreateStationBox()
{
    QLineEdit* typed = cmbBoxRadio->lineEdit();
    m_stationShown = cmbBoxRadio->currentText();
    // The box completes a typed beginning inline after it reports the edit,
    // so the text is taken once the key is handled, as the box shows it.
    connect(typed, &QLineEdit::textEdited, this, [this] {
        if (m_stationTyped)
            return;
        m_stationTyped = true;
        QMetaObject::invokeMethod(this, &TfrmOrvex::StationTyped, Qt::QueuedConnection);
    });
    // The box would pick the name its text reads as when editing ends, the
    // focus leaving included; here only Enter does (see StationBoxKey).
    QObject::disconnect(typed, SIGNAL(editingFinished()), cmbBoxRadio, nullptr);
    typed->installEventFilter(this);
}

QStringList TfrmOrvex::StationNames() const
{
    QStringList names;
    for (int i = 0; i < cmbBoxRadio->count(); ++i)
        names << cmbBoxRadio->itemText(i);
    return names;
}

void TfrmOrvex::StationTyped()
{
    m_stationTyped = false;
    QLineEdit* typed = cmbBoxRadio->lineEdit();
    const QString text = typed->text();
    const bool completedAtEnd = typed->hasSelectedText() && typed->selectionEnd() == text.size();
    const int index = TypedStation(StationNames(), text, completedAtEnd ? typed->selectionLength() : 0);
    // Typing through the name of the station that plays does not start it again.
    if (index < 0 || cmbBoxRadio->itemText(index) == m_stationShown)
        return;
    {
        // Selecting the name must leave the text, the cursor and the
        // completed part the user sees as they are.
        const QSignalBlocker blocker(cmbBoxRadio);
        const int cursor = typed->cursorPosition();
        const int selectionStart = typed->selectionStart();
        const int selectionLength = typed->selectionLength();
        cmbBoxRadio->setCurrentIndex(index);
        cmbBoxRadio->setEditText(text);
        if (selectionStart >= 0 && cursor == selectionStart)
            typed->setSelection(selectionStart + selectionLength, -selectionLength);
        else if (selectionStart >= 0)
            typed->setSelection(selectionStart, selectionLength);
        else
            typed->setCursorPosition(cursor);
    }
    Guarded([this] { cmbBoxRadioChange(); });
}

bool TfrmOrvex::StationBoxKey(const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Escape) {
        QToolTip::hideText();
        const QSignalBlocker blocker(cmbBoxRadio);
        cmbBoxRadio->setCurrentIndex(cmbBoxRadio->findText(m_stationShown, Qt::MatchExactly | Qt::MatchCaseSensitive));
        cmbBoxRadio->setEditText(m_stationShown);
        return true;
    }
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter)
        return false;
    const QString text = cmbBoxRadio->lineEdit()->text();
    const int index = TypedStation(StationNames(), text.trimmed(), 0);
    if (index >= 0) {
        {
            const QSignalBlocker blocker(cmbBoxRadio);
            cmbBoxRadio->setCurrentIndex(index);
        }
        Guarded([this] { cmbBoxRadioChange(); });
        return true;
    }
    const TypedAddress typed = PickAddress(text);
    if (!typed.ok) {
        QToolTip::showText(cmbBoxRadio->mapToGlobal(QPoint(0, cmbBoxRadio->height())), kNoSuchStation, cmbBoxRadio);
        return true;
    }
    Guarded([&] { PlayTypedAddress(typed); });
    return true;
}

void TfrmOrvex::PlayTypedAddress(const TypedAddress& typed)
{
    {
        const QSignalBlocker blocker(cmbBoxRadio);
        cmbBoxRadio->setCurrentIndex(-1);
        cmbBoxRadio->setEditText(typed.address);
    }
    editAddress->setText(typed.address);
    (typed.http ? RdButtonHTTPMethod : RdButtonMMSMethod)->setChecked(true);
    m_stationShown = typed.address;
    bitBtnSETRemote->click();
}

} // namespace orvex
