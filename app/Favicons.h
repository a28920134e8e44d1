#pragma once

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSize>
#include <QString>
#include <deque>

class QNetworkAccessManager;
class QNetworkReply;

namespace orvex {

// The stations' small pictures for the directory's list: fetched over http
// or https at most four at a time and at most 256 KB each (a picture that
// never ends is given up after its time), decoded by Qt's image readers
// (anything else is no picture), scaled to the list's size and kept as PNG
// under the cache folder's "favicons" (entries older than 30 days are
// pruned when the cache is opened). A picture that fails gets the plain
// placeholder.
class Favicons : public QObject {
    Q_OBJECT
public:
    // folder: the cache; empty for favicons/ in the user's cache folder.
    explicit Favicons(QSize size, const QString& folder = QString(), QObject* parent = nullptr);

    // The picture when it is known (cached or failed), else null; a null
    // answer starts its fetch, and Ready follows.
    QIcon Icon(const QString& url);
    QIcon Placeholder() const { return m_placeholder; }
    const QString& Folder() const { return m_folder; }
    int Fetching() const { return m_active; }
    int Waiting() const { return static_cast<int>(m_queue.size()); }
    // The time one picture may take.
    void SetTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

signals:
    void Ready(const QString& url, const QIcon& icon);

private:
    QString CachePath(const QString& url) const;
    void Next();
    void Done(const QString& url, const QByteArray& data);

    QNetworkAccessManager* m_network;
    QSize m_size;
    QString m_folder;
    QIcon m_placeholder;
    QHash<QString, QIcon> m_known;
    std::deque<QString> m_queue;
    QHash<QString, bool> m_asked;
    int m_active = 0;
    int m_timeoutMs = 10000;
};

namespace favicons {
inline constexpr int kAtOnce = 4;
inline constexpr qint64 kLargest = 256 * 1024;
inline constexpr int kKeepDays = 30;
} // namespace favicons

} // namespace orvex
