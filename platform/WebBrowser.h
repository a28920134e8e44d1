#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;

namespace orvex {

// Command numbers of the browser's command-state event.
enum : int {
    CSC_UPDATECOMMANDS = -1,
    CSC_NAVIGATEFORWARD = 1,
    CSC_NAVIGATEBACK = 2,
};

// Must run before the application object is created: the browser engine
// shares its drawing contexts across windows, and on a screen its view
// draws in software, so that windows keep their plain back buffer. The
// engine keeps off the session bus's media players.
void PrepareBrowserEngine();
// The engine's command-line flags: the ones given, with the program's own.
QByteArray BrowserEngineFlags(QByteArray flags);

// The embedded web browser. Local pages may load remote media, and media
// plays without a user gesture, so a player page starts its stream at once.
//
// The browser engine is the heaviest part of the program's start, so it
// starts after the window has painted itself for the first time (or, for a
// window that is not shown, as soon as the event loop runs). A navigation
// asked for before that is kept and made first thing when the engine runs.
class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);

    // A plain file path is loaded as a local file; an address with a scheme
    // as it is; an empty address is passed on as empty.
    void Navigate(const QString& url);
    // Moving in an empty history raises, as the browser's automation does.
    void GoBack();
    void GoForward();
    // Stops the current download; before the engine runs, drops the
    // navigation that waits for it.
    void Stop();
    // The location shown, or the one that waits for the engine.
    QString LocationURL() const;
    // Whether a navigation or download is in progress (or waits for the engine).
    bool Busy() const { return m_busy || m_pending; }

    // A script that runs in every page loaded from now on, before the page's
    // own scripts (it decides by itself whether the page is one of ours);
    // a new one takes the place of the last.
    void SetPageScript(const QString& source);

    // Starts the engine now if it has not started; idle once it has.
    void StartEngine();
    bool EngineStarted() const { return m_view != nullptr; }
    // The engine's view; starts the engine if need be.
    QWebEngineView* View();

signals:
    // command: CSC_UPDATECOMMANDS, CSC_NAVIGATEFORWARD or CSC_NAVIGATEBACK.
    void CommandStateChange(int command, bool enable);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void HistoryChanged();
    void StartWhenPainted();
    void InstallPageScript();

    QWebEngineView* m_view = nullptr;
    QUrl m_pendingUrl;
    QString m_pageScript;
    bool m_pending = false;
    bool m_painted = false;
    bool m_busy = false;
    bool m_canGoBack = false;
    bool m_canGoForward = false;
};

} // namespace orvex
