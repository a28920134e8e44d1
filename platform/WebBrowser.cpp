#include "WebBrowser.h"

#include "Exceptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <utility>

namespace orvex {

namespace {

// Qt's note, on a window system with OpenGL switched off, that its shared
// context cannot be made: the program draws without OpenGL on purpose.
QtMessageHandler g_nextMessageHandler = nullptr;
bool g_openGlSwitchedOff = false;

void DropNoOpenGlNote(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QXcbIntegration: Cannot create platform OpenGL")))
        return;
    g_nextMessageHandler(type, context, message);
}

// Switches a feature of the engine off, unless the flags given name it.
void DisableFeature(QByteArray& flags, const QByteArray& feature)
{
    if (flags.contains(feature))
        return;
    const QByteArray disable = "--disable-features=";
    const qsizetype at = flags.indexOf(disable);
    if (at >= 0)
        flags.insert(at + disable.size(), feature + ',');
    else
        flags += (flags.isEmpty() ? "" : " ") + disable + feature;
}

} // namespace

QByteArray BrowserEngineFlags(QByteArray flags)
{
    // The engine would put a media player of its own on the session bus
    // while a page plays; the program's own player speaks for the page.
    DisableFeature(flags, "HardwareMediaKeyHandling");
    // The engine's sound goes out from the program's own process instead of
    // a process of its own that the first sound would have to start (about
    // a tenth of a second before a station is heard, and one process less).
    DisableFeature(flags, "AudioServiceOutOfProcess");
    // The player page may ask the script engine to collect garbage
    // (window.gc): the chunks it feeds its media source would otherwise wait
    // for a collection for many minutes. Script flags given from outside are
    // left as they are.
    if (!flags.contains("--js-flags"))
        flags += " --js-flags=--expose-gc";
    return flags.trimmed();
}

void PrepareBrowserEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The browser's view draws its page itself (software scene graph) rather
    // than as an OpenGL texture. A texture would make Qt compose the whole
    // window through OpenGL on every update, however small (a loudspeaker's
    // frame), and would make a window that gets the view after it is on
    // screen (the engine starts after the window shows) be made anew: it
    // vanishes and comes back. Drawn in software, the window flushes only
    // what changed through its plain back buffer. A scene-graph backend or
    // widget composition asked for from outside is left as it is.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.startsWith("offscreen") && !platform.startsWith("minimal") &&
        qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QT_WIDGETS_RHI")) {
        qputenv("QT_QUICK_BACKEND", "software");
        // Nothing then draws with OpenGL, and the engine runs without it:
        // the X window system's OpenGL driver is not loaded at all (loading
        // it held the window back by a tenth of a second or more).
        if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION")) {
            qputenv("QT_XCB_GL_INTEGRATION", "none");
            g_openGlSwitchedOff = true;
            g_nextMessageHandler = qInstallMessageHandler(&DropNoOpenGlNote);
        }
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", BrowserEngineFlags(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS")));
}

namespace {

// How long an engine waits for a shown window that does not paint (one
// that lies off the screen, say) before it starts all the same.
constexpr int kLongestWaitForPaintMs = 500;

} // namespace

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent)
{
    // The window system read the choice when the application object was
    // made; programs started from this one make their own.
    if (std::exchange(g_openGlSwitchedOff, false))
        qunsetenv("QT_XCB_GL_INTEGRATION");
    QTimer::singleShot(0, this, &WebBrowser::StartWhenPainted);
}

void WebBrowser::StartWhenPainted()
{
    if (m_view)
        return;
    // A window on its way to the screen paints first: the engine's start
    // would hold its first picture back.
    if (window()->isVisible() && !m_painted) {
        QTimer::singleShot(kLongestWaitForPaintMs, this, &WebBrowser::StartEngine);
        return;
    }
    StartEngine();
}

void WebBrowser::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_painted)
        return;
    m_painted = true;
    // After this paint has reached the screen.
    QTimer::singleShot(0, this, &WebBrowser::StartEngine);
}

void WebBrowser::StartEngine()
{
    if (m_view)
        return;
    m_view = new QWebEngineView(this);
    QWebEngineSettings* settings = m_view->settings();
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
    m_view->setGeometry(rect());
    InstallPageScript();

    connect(m_view, &QWebEngineView::loadStarted, this, [this] {
        m_busy = true;
        emit CommandStateChange(CSC_UPDATECOMMANDS, true);
    });
    connect(m_view, &QWebEngineView::loadFinished, this, [this] {
        m_busy = false;
        HistoryChanged();
        emit CommandStateChange(CSC_UPDATECOMMANDS, true);
    });
    connect(m_view, &QWebEngineView::urlChanged, this, [this] { HistoryChanged(); });
    // The page's load goes first: the engine starts the page's process
    // while the view gets ready to show.
    if (m_pending) {
        // Busy until the page has loaded, and the location is the one asked
        // for until the engine reports its own.
        m_pending = false;
        m_busy = true;
        m_view->load(m_pendingUrl);
    }
    m_view->setVisible(true);
}

void WebBrowser::SetPageScript(const QString& source)
{
    m_pageScript = source;
    InstallPageScript();
}

void WebBrowser::InstallPageScript()
{
    if (!m_view)
        return;
    const QString name = QStringLiteral("orvex-page-script");
    QWebEngineScriptCollection& scripts = m_view->page()->scripts();
    for (const QWebEngineScript& old : scripts.find(name))
        scripts.remove(old);
    if (m_pageScript.isEmpty())
        return;
    QWebEngineScript script;
    script.setName(name);
    script.setSourceCode(m_pageScript);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setRunsOnSubFrames(false);
    scripts.insert(script);
}

QWebEngineView* WebBrowser::View()
{
    StartEngine();
    return m_view;
}

void WebBrowser::HistoryChanged()
{
    // The back and forward commands are reported whenever the history moves,
    // as the browser's own toolbar would see them.
    const QWebEngineHistory* history = m_view->history();
    m_canGoBack = history->canGoBack();
    m_canGoForward = history->canGoForward();
    emit CommandStateChange(CSC_NAVIGATEBACK, m_canGoBack);
    emit CommandStateChange(CSC_NAVIGATEFORWARD, m_canGoForward);
}

void WebBrowser::Navigate(const QString& url)
{
    QUrl target;
    if (!url.isEmpty()) {
        const QUrl parsed(url);
        // A one-letter scheme would be a drive, not a scheme; a path is a file.
        target = parsed.scheme().size() > 1 ? parsed : QUrl::fromLocalFile(QFileInfo(url).absoluteFilePath());
    }
    m_pendingUrl = target;
    if (!m_view) {
        m_pending = true;
        return;
    }
    m_view->load(target);
}

void WebBrowser::GoBack()
{
    if (!m_view || !m_view->history()->canGoBack())
        throw EOleException(QStringLiteral("Unspecified error"));
    m_view->back();
}

void WebBrowser::GoForward()
{
    if (!m_view || !m_view->history()->canGoForward())
        throw EOleException(QStringLiteral("Unspecified error"));
    m_view->forward();
}

void WebBrowser::Stop()
{
    if (m_view)
        m_view->stop();
    else
        m_pending = false;
}

QString WebBrowser::LocationURL() const
{
    if (!m_view)
        return m_pending ? m_pendingUrl.toString() : QString();
    const QUrl shown = m_view->url();
    return shown.isEmpty() && m_busy ? m_pendingUrl.toString() : shown.toString();
}

void WebBrowser::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_view)
        m_view->setGeometry(rect());
}

} // namespace orvex
