#include "WebBrowser.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <QWebEngineView>
#include <functional>
#include <gtest/gtest.h>

using namespace orvex;

namespace {

bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Notes whether the browser's engine had started when its window first painted.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(const WebBrowser& browser) : m_browser(browser) {}
    bool painted = false;
    bool engineAtPaint = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            engineAtPaint = m_browser.EngineStarted();
        }
        return false;
    }

private:
    const WebBrowser& m_browser;
};

class WebBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QFile page(m_dir.filePath(QStringLiteral("page.htm")));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<html><body>page</body></html>");
    }
    QString PagePath() const { return m_dir.filePath(QStringLiteral("page.htm")); }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(WebBrowserTest, ANavigationAskedBeforeTheEngineRunsIsMadeWhenItStarts)
{
    WebBrowser browser;
    EXPECT_FALSE(browser.EngineStarted());
    browser.Navigate(PagePath());
    // Until the engine runs, the browser reports the navigation that waits.
    EXPECT_EQ(browser.LocationURL(), QUrl::fromLocalFile(PagePath()).toString());
    EXPECT_TRUE(browser.Busy());
    ASSERT_TRUE(PumpUntil([&] { return browser.EngineStarted(); }));
    ASSERT_TRUE(PumpUntil([&] { return !browser.Busy(); }));
    EXPECT_EQ(browser.LocationURL(), QUrl::fromLocalFile(PagePath()).toString());
    EXPECT_EQ(browser.View()->url(), QUrl::fromLocalFile(PagePath()));
}

TEST_F(WebBrowserTest, AShownWindowPaintsBeforeTheEngineStarts)
{
    QWidget window;
    window.resize(300, 200);
    auto* browser = new WebBrowser(&window);
    browser->setGeometry(0, 0, 300, 200);
    browser->Navigate(PagePath());
    FirstPaint watch(*browser);
    window.installEventFilter(&watch);
    window.show();
    ASSERT_TRUE(PumpUntil([&] { return watch.painted; }));
    EXPECT_FALSE(watch.engineAtPaint);
    // The engine follows, makes the navigation and shows its view in the window.
    ASSERT_TRUE(PumpUntil([&] { return browser->EngineStarted() && !browser->Busy(); }));
    EXPECT_EQ(browser->LocationURL(), QUrl::fromLocalFile(PagePath()).toString());
    EXPECT_TRUE(browser->View()->isVisible());
    EXPECT_EQ(browser->View()->geometry(), browser->rect());
}

TEST_F(WebBrowserTest, StoppingBeforeTheEngineRunsDropsTheWaitingNavigation)
{
    WebBrowser browser;
    browser.Navigate(PagePath());
    browser.Stop();
    EXPECT_FALSE(browser.Busy());
    EXPECT_TRUE(browser.LocationURL().isEmpty());
    ASSERT_TRUE(PumpUntil([&] { return browser.EngineStarted(); }));
    EXPECT_TRUE(browser.LocationURL().isEmpty());
    // With no history yet, moving in it raises the browser's error.
    WebBrowser fresh;
    try {
        fresh.GoBack();
        FAIL() << "going back without history raised nothing";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Unspecified error"));
    }
    EXPECT_THROW(fresh.GoForward(), Exception);
}

TEST(BrowserEngineFlagsTest, AddsTheProgramsFeaturesOnceAndKeepsWhatIsGiven)
{
    const QByteArray own = "AudioServiceOutOfProcess,HardwareMediaKeyHandling";
    const struct {
        QByteArray given;
        QByteArray expected;
    } cases[] = {
        {"", "--disable-features=" + own + " --js-flags=--expose-gc"},
        {"--disable-features=Foo --js-flags=--lite", "--disable-features=" + own + ",Foo --js-flags=--lite"},
        // A feature named from outside, switched on or off, is left as given.
        {"--enable-features=AudioServiceOutOfProcess",
         "--enable-features=AudioServiceOutOfProcess --disable-features=HardwareMediaKeyHandling --js-flags=--expose-gc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BrowserEngineFlags(c.given), c.expected) << c.given.constData();
}
