#pragma once

#include <QString>
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
// shares its drawing contexts across windows.
void PrepareBrowserEngine();

// The embedded web browser. Local pages may load remote media, and media
// plays without a user gesture, so a player page starts its stream at once.
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
    void Stop();
    QString LocationURL() const;
    // Whether a navigation or download is in progress.
    bool Busy() const { return m_busy; }

    QWebEngineView* View() const { return m_view; }

signals:
    // command: CSC_UPDATECOMMANDS, CSC_NAVIGATEFORWARD or CSC_NAVIGATEBACK.
    void CommandStateChange(int command, bool enable);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void HistoryChanged();

    QWebEngineView* m_view;
    bool m_busy = false;
    bool m_canGoBack = false;
    bool m_canGoForward = false;
};

} // namespace orvex
