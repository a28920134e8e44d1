#include "History.h"
#include "ProgramSettings.h"

#include "HistoryWindow.h"
#include "Recording.h"
#include "Unit1.h"

#include <QSettings>
#include <QShortcut>

namespace orvex {

namespace {

const QString kSearchKey = QStringLiteral("History/SearchAddress");
const QString kDefaultSearch = QStringLiteral("https://duckduckgo.com/?q=%s");

} // namespace

RadioHistory::RadioHistory(TfrmOrvex* window, const QString& path)
    : QObject(window), m_window(window), m_store(path)
{
    connect(window, &TfrmOrvex::StreamInfoChanged, this, &RadioHistory::TitleShown);
    connect(&window->Recording->Recorder(), &StreamRecorder::FileStarted, this, [this](const QString& file) {
        const QList<HistoryEntry>& entries = m_store.Entries();
        if (!entries.isEmpty() && entries.first().file.isEmpty() && entries.first().title == m_lastTitle)
            m_store.SetNewestFile(file);
    });
    connect(window->Feed, &StreamFeed::CommandReceived, this, [this](const QString& name, const QString&) {
        if (name == QLatin1String("history"))
            ShowWindow();
    });
    connect(&m_store, &SongHistory::WriteFailed, this, [this](const QString& message) {
        m_window->Feed->SendStatus(QStringLiteral("O hist\u00f3rico n\u00e3o pode ser gravado: ") + message);
    });
    auto* keys = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_H), window);
    connect(keys, &QShortcut::activated, this, &RadioHistory::ShowWindow);
}

void RadioHistory::TitleShown()
{
    const QString title = m_window->StreamTitle();
    if (title == m_lastTitle)
        return;
    m_lastTitle = title;
    if (title.isEmpty())
        return;
    const QString address = m_window->StationAddress();
    const QList<HistoryEntry>& entries = m_store.Entries();
    // The same song met again after the page was stopped and played is no new song.
    if (!entries.isEmpty() && entries.first().title == title && entries.first().address == address)
        return;
    HistoryEntry entry;
    const QDateTime now = QDateTime::currentDateTime();
    entry.time = now.toOffsetFromUtc(now.offsetFromUtc());
    entry.station = m_window->StationName();
    entry.address = address;
    entry.title = title;
    m_store.Add(entry);
}

HistoryWindow* RadioHistory::Window() const
{
    return m_dialog;
}

HistoryWindow* RadioHistory::ShowWindow()
{
    if (!m_dialog)
        m_dialog = new HistoryWindow(m_store, m_window);
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    return m_dialog;
}

QString RadioHistory::SearchAddress(const QString& title)
{
    QString address = ProgramSettings().value(kSearchKey, kDefaultSearch).toString();
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(title));
    if (address.contains(QLatin1String("%s")))
        return address.replace(QLatin1String("%s"), encoded);
    return address + encoded;
}

} // namespace orvex
