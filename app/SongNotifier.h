#pragma once

#include <QObject>
#include <QString>
#include <functional>

namespace orvex {

class TfrmOrvex;

// Song notifications: when the radio's title changes, a desktop
// notification (org.freedesktop.Notifications on the session bus) with the
// title as its summary and the station as its body, each replacing the last,
// none while the window is active. Calls are asynchronous: a notification
// service that is missing or never answers costs nothing. On by default;
// remembered; switched from the sleep timer's menus (the page's "notify"
// command: "on" or "off").
class SongNotifier : public QObject {
    Q_OBJECT
public:
    explicit SongNotifier(TfrmOrvex* window);

    bool Enabled() const { return m_enabled; }
    void SetEnabled(bool on);
    // Sends one notification, replacing the one shown last.
    void Notify(const QString& title, const QString& station);
    // What notification servers read as markup in a body, escaped.
    static QString EscapeMarkup(const QString& text);
    // Whether the window is active now; tests answer in its place.
    std::function<bool()> WindowActive;
    // The id the service gave the last notification (0: none yet).
    quint32 LastId() const { return m_lastId; }

signals:
    // A notification's call ended: answered with an id, or not (no service,
    // an error, no answer in time).
    void Finished(bool answered);

private:
    void TitleShown();

    TfrmOrvex* m_window;
    bool m_enabled = true;
    quint32 m_lastId = 0;
    QString m_lastTitle;
};

} // namespace orvex
