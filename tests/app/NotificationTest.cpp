// Song notifications against a notification service of the test's own on
// the test program's private session bus.
#include "WindowFixture.h"

#include "IcecastServer.h"
#include "Mp3Maker.h"
#include "SongNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QSettings>
#include <QSignalSpy>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");

// The notification service, on a connection of its own as a desktop's is.
// It answers with ids from 7 up, or (Answer off) never.
class FakeNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Shown {
        uint replaces;
        QString icon, summary, body;
    };
    FakeNotifications() : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("fake")))
    {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this, QDBusConnection::ExportAllSlots);
        m_registered = m_bus.registerService(kService);
    }
    ~FakeNotifications() override
    {
        m_bus.unregisterService(kService);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    }
    bool Registered() const { return m_registered; }
    std::vector<Shown> shown;
    bool Answer = true;

public slots:
    uint Notify(const QString&, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        shown.push_back({replaces, icon, summary, body});
        if (!Answer)
            setDelayedReply(true);
        return 6 + uint(shown.size());
    }

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};

class NotificationTest : public orvex::testing::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex")).clear();
    }
};

} // namespace

// Without a service, and with one that never answers, nothing waits.
TEST_F(NotificationTest, AMissingOrSilentServiceHoldsNothingUp)
{
    SongNotifier& notifier = *Form().Notifier;
    QSignalSpy finished(&notifier, &SongNotifier::Finished);
    notifier.Notify(QStringLiteral("Song"), QStringLiteral("Station"));
    ASSERT_TRUE(PumpUntil([&] { return finished.size() == 1; }));
    EXPECT_FALSE(finished.first().first().toBool());

    FakeNotifications service;
    ASSERT_TRUE(service.Registered());
    service.Answer = false;
    QElapsedTimer clock;
    clock.start();
    notifier.Notify(QStringLiteral("Song"), QStringLiteral("Station"));
    notifier.Notify(QStringLiteral("Song 2"), QStringLiteral("Station"));
    EXPECT_LT(clock.elapsed(), 1000);
    ASSERT_TRUE(PumpUntil([&] { return service.shown.size() == 2; }));
    EXPECT_EQ(notifier.LastId(), 0u);
}

// Titles from a station: one notification each, replacing the last, the
// title as summary and the station as escaped text; none while the window
// is active or once switched off.
TEST_F(NotificationTest, EachNewTitleReplacesTheLastOne)
{
    QStringList tracks;
    for (int i = 1; i <= 2; ++i) {
        const QString track = ExePath(QStringLiteral("t%1.mp3").arg(i));
        ASSERT_TRUE(orvex::testing::MakeMp3(track, 2.0));
        ASSERT_TRUE(orvex::testing::TagTitle(track, QStringLiteral("<b>Song</b> & %1").arg(i)));
        tracks << track;
    }
    orvex::testing::IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(tracks)) << icecast.Error().toStdString();
    FakeNotifications service;
    ASSERT_TRUE(service.Registered());

    TfrmOrvex& form = Form();
    bool active = false;
    form.Notifier->WindowActive = [&] { return active; };
    form.show();
    form.editAddress->setText(icecast.Address());
    form.bitBtnSETRemote->click();
    ASSERT_TRUE(PumpUntil([&] { return service.shown.size() >= 2 && form.Notifier->LastId() != 0; }, 60000));
    const FakeNotifications::Shown& first = service.shown[0];
    EXPECT_TRUE(first.summary.startsWith(QStringLiteral("<b>Song</b> & "))) << first.summary.toStdString();
    EXPECT_EQ(first.body, QStringLiteral("R\u00e1dio &lt;i&gt;Teste&lt;/i&gt;"));
    EXPECT_EQ(first.icon, QStringLiteral("com.example.kelvara.Orvex"));
    EXPECT_EQ(first.replaces, 0u);
    EXPECT_EQ(service.shown[1].replaces, 7u);

    const auto nextTitle = [&form] {
        const QString title = form.StreamTitle();
        return PumpUntil([&] { return form.StreamTitle() != title && !form.StreamTitle().isEmpty(); }, 30000);
    };
    active = true;
    ASSERT_TRUE(nextTitle()); // what was on its way arrives meanwhile
    const std::size_t before = service.shown.size();
    ASSERT_TRUE(nextTitle());
    form.Notifier->SetEnabled(false);
    active = false;
    ASSERT_TRUE(nextTitle());
    ASSERT_TRUE(nextTitle());
    EXPECT_EQ(service.shown.size(), before);
    EXPECT_FALSE(QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex")).value(QStringLiteral("Radio/SongNotifications")).toBool());
}

#include "NotificationTest.moc"
