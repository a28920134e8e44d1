#include "Favicons.h"

#include "ProgramFiles.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace orvex {

Favicons::Favicons(QSize size, const QString& folder, QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this)), m_size(size),
      m_folder(folder.isEmpty() ? ProgramFiles::CacheFolder() + QStringLiteral("favicons/") : folder)
{
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    QPixmap plain(size);
    plain.fill(Qt::transparent);
    QPainter painter(&plain);
    painter.setPen(QColor(0x8a, 0x9a, 0xb0));
    painter.setBrush(QColor(0x2a, 0x32, 0x40));
    painter.drawRect(QRect(QPoint(1, 1), size - QSize(3, 3)));
    painter.end();
    m_placeholder = QIcon(plain);
    QDir().mkpath(m_folder);
    const QDateTime oldest = QDateTime::currentDateTime().addDays(-favicons::kKeepDays);
    for (QDirIterator it(m_folder, {QStringLiteral("*.png")}, QDir::Files); it.hasNext();) {
        const QFileInfo file(it.next());
        if (file.lastModified() < oldest)
            QFile::remove(file.filePath());
    }
}

QString Favicons::CachePath(const QString& url) const
{
    return m_folder + QString::fromLatin1(QCryptographicHash::hash(url.toUtf8(), QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".png");
}

QIcon Favicons::Icon(const QString& url)
{
    if (const auto known = m_known.constFind(url); known != m_known.cend())
        return *known;
    const QString scheme = QUrl(url).scheme().toLower();
    if (url.isEmpty() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
        m_known.insert(url, m_placeholder);
        return m_placeholder;
    }
    const QPixmap cached(CachePath(url));
    if (!cached.isNull()) {
        const QIcon icon(cached);
        m_known.insert(url, icon);
        return icon;
    }
    if (!m_asked.contains(url)) {
        m_asked.insert(url, true);
        m_queue.push_back(url);
        Next();
    }
    return QIcon();
}

void Favicons::Next()
{
    while (m_active < favicons::kAtOnce && !m_queue.empty()) {
        const QString url = m_queue.front();
        m_queue.pop_front();
        ++m_active;
        QNetworkRequest request{QUrl(url)};
        QNetworkReply* reply = m_network->get(request);
        auto body = std::make_shared<QByteArray>();
        auto failed = std::make_shared<bool>(false);
        connect(reply, &QNetworkReply::readyRead, reply, [reply, body, failed] {
            *body += reply->readAll();
            if (body->size() > favicons::kLargest && !*failed) {
                *failed = true;
                reply->abort();
            }
        });
        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, reply, [reply, failed] {
            *failed = true;
            reply->abort();
        });
        timer->start(m_timeoutMs);
        connect(reply, &QNetworkReply::finished, this, [this, reply, body, failed, url] {
            reply->deleteLater();
            *body += reply->readAll();
            --m_active;
            Done(url, *failed || reply->error() != QNetworkReply::NoError ? QByteArray() : *body);
            Next();
        });
    }
}

void Favicons::Done(const QString& url, const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The picture's own size decides the scale, before anything is decoded:
    // a huge picture is never made whole.
    QSize size = reader.size();
    QImage image;
    if (!data.isEmpty() && reader.canRead()) {
        if (size.isValid())
            reader.setScaledSize(size.scaled(m_size, Qt::KeepAspectRatio));
        image = reader.read();
    }
    QIcon icon = m_placeholder;
    if (!image.isNull()) {
        image = image.scaled(m_size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        image.save(CachePath(url), "PNG");
        icon = QIcon(QPixmap::fromImage(image));
    }
    m_known.insert(url, icon);
    emit Ready(url, icon);
}

} // namespace orvex
