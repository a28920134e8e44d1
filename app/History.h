#pragma once

#include "SongHistory.h"

#include <QObject>
#include <QPointer>
#include <functional>

namespace orvex {

class HistoryWindow;
class TfrmOrvex;

// The radio's song history on the window's side: each title the window
// shows is kept with its station, its address and the time it started; a
// song being recorded learns its file. The history window opens from the
// player page's "history" command and by Ctrl+H. A history that cannot be
// written is said once on the page; the radio plays on.
class RadioHistory : public QObject {
    Q_OBJECT
public:
    // Follows the window's title and its recorder, which must exist.
    explicit RadioHistory(TfrmOrvex* window, const QString& path = SongHistory::DefaultPath());

    SongHistory& Store() { return m_store; }
    // Shows the history window (made on first use) and raises it.
    HistoryWindow* ShowWindow();
    HistoryWindow* Window() const;

    // Where "Buscar na web" goes: the setting's address with the title
    // percent-encoded in place of "%s" (or after it when it has none).
    static QString SearchAddress(const QString& title);
    // Asks before the history is cleared; tests answer in its place.
    static inline std::function<bool(const QString& question)> ConfirmHook;

private:
    void TitleShown();

    TfrmOrvex* m_window;
    SongHistory m_store;
    QString m_lastTitle;
    QPointer<HistoryWindow> m_dialog;
};

} // namespace orvex
