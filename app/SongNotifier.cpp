#include "SongNotifier.h"
#include "ProgramSettings.h"

#include "SleepTimer.h"
#include "Unit1.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMenu>
#include <QSettings>

namespace orvex {

namespace {

const QString kEnabledKey = QStringLiteral("Radio/SongNotifications");
constexpr const char* kDesktopId = "com.example.kelvara.Orvex";
// A title as long as a page is no summary: notifications show the start.
constexpr int kMaxSummary = 300;
constexpr int kNotifyTimeoutMs = 5000;

} // namespace

SongNotifier::SongNotifier(TfrmOrvex* window) : QObject(window), m_window(window)
{
    m_enabled = ProgramSettings().value(kEnabledKey, true).toBool();
    WindowActive = [this] { return m_window->isActiveWindow(); };
    connect(window, &TfrmOrvex::StreamInfoChanged, this, &SongNotifier::TitleShown);
    connect(window->Feed, &StreamFeed::CommandReceived, this, [this](const QString& name, const QString& argument) {
        if (name == QLatin1String("notify"))
            SetEnabled(argument == QLatin1String("on"));
    });
    window->Feed->SendSetting(QStringLiteral("notify"), m_enabled ? QStringLiteral("on") : QStringLiteral("off"));
    QMenu* menu = window->Sleep->Menu();
    menu->addSeparator();
    QAction* action = menu->addAction(QStringLiteral("Avisar a troca de m\u00fasica"));
    action->setCheckable(true);
    connect(menu, &QMenu::aboutToShow, action, [this, action] { action->setChecked(m_enabled); });
    connect(action, &QAction::triggered, this, &SongNotifier::SetEnabled);
}

void SongNotifier::SetEnabled(bool on)
{
    m_enabled = on;
    ProgramSettings().setValue(kEnabledKey, on);
    m_window->Feed->SendSetting(QStringLiteral("notify"), on ? QStringLiteral("on") : QStringLiteral("off"));
}

void SongNotifier::TitleShown()
{
    const QString title = m_window->StreamTitle();
    if (title == m_lastTitle)
        return;
    m_lastTitle = title;
    if (!title.isEmpty() && m_enabled && !WindowActive())
        Notify(title, m_window->StationName());
}

QString SongNotifier::EscapeMarkup(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            escaped += QLatin1String("&amp;");
        else if (c == QLatin1Char('<'))
            escaped += QLatin1String("&lt;");
        else if (c == QLatin1Char('>'))
            escaped += QLatin1String("&gt;");
        else
            escaped += c;
    }
    return escaped;
}

void SongNotifier::Notify(const QString& title, const QString& station)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QString::fromLatin1(kDesktopId)},
                            {QStringLiteral("category"), QStringLiteral("x-orvex.song")}};
    // The summary is plain text to the service; the body may be read as markup.
    call << QStringLiteral("Orvex") << m_lastId << QString::fromLatin1(kDesktopId) << title.left(kMaxSummary)
         << EscapeMarkup(station) << QStringList() << hints << -1;
    const QDBusPendingCall pending = QDBusConnection::sessionBus().asyncCall(call, kNotifyTimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(pending, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<quint32> reply = *done;
        // No service, or one that failed: the next notification is a new one.
        if (reply.isError()) {
            emit Finished(false);
            return;
        }
        m_lastId = reply.value();
        emit Finished(true);
    });
}

} // namespace orvex
