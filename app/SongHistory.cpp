#include "SongHistory.h"

#include "ProgramFiles.h"

#include <QDir>
#include <algorithm>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace orvex {

namespace {

// A line longer than this is no entry of ours (a title is cut well before).
constexpr qsizetype kMaxLineBytes = 64 * 1024;
// Far more than the entries kept take: the rest of a larger file is older.
constexpr qint64 kMaxReadBytes = 64 * 1024 * 1024;

QString CutTitle(const QString& title)
{
    return title.size() > SongHistory::kMaxTitleLength ? title.left(SongHistory::kMaxTitleLength) : title;
}

} // namespace

SongHistory::SongHistory(const QString& path, QObject* parent) : QObject(parent), m_path(path)
{
    Load();
}

QString SongHistory::DefaultPath()
{
    return ProgramFiles::UserDataFolder() + QStringLiteral("history.jsonl");
}

QByteArray SongHistory::EntryLine(const HistoryEntry& entry)
{
    QJsonObject object{{QStringLiteral("time"), entry.time.toString(Qt::ISODate)},
                       {QStringLiteral("station"), entry.station},
                       {QStringLiteral("address"), entry.address},
                       {QStringLiteral("title"), entry.title}};
    if (!entry.file.isEmpty())
        object.insert(QStringLiteral("file"), entry.file);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

bool SongHistory::ParseLine(const QByteArray& line, HistoryEntry* entry)
{
    if (line.size() > kMaxLineBytes)
        return false;
    const QJsonDocument document = QJsonDocument::fromJson(line);
    if (!document.isObject())
        return false;
    const QJsonObject object = document.object();
    const QJsonValue title = object.value(QStringLiteral("title"));
    entry->time = QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODate);
    if (!title.isString() || title.toString().isEmpty() || !entry->time.isValid())
        return false;
    entry->title = CutTitle(title.toString());
    entry->station = object.value(QStringLiteral("station")).toString();
    entry->address = object.value(QStringLiteral("address")).toString();
    entry->file = object.value(QStringLiteral("file")).toString();
    return true;
}

void SongHistory::Load()
{
    m_entries.clear();
    m_linesInFile = 0;
    // Only a regular file: a device or a pipe named so could be endless.
    QFile file(m_path);
    if (!QFileInfo(m_path).isFile() || !file.open(QIODevice::ReadOnly))
        return;
    // Newest lines are last: only the file's end is read, and read back from
    // its end until enough entries are found.
    if (file.size() > kMaxReadBytes)
        file.seek(file.size() - kMaxReadBytes);
    QByteArray content = file.read(kMaxReadBytes);
    if (file.pos() > content.size())
        content.remove(0, content.indexOf('\n') + 1); // a line cut by where reading began
    qsizetype end = content.size();
    while (end > 0) {
        const qsizetype start = content.lastIndexOf('\n', end - 1) + 1;
        ++m_linesInFile;
        HistoryEntry entry;
        if (m_entries.size() < kMaxEntries && ParseLine(content.mid(start, end - start), &entry)) {
            const bool known = std::any_of(m_entries.cbegin(), m_entries.cend(),
                                           [&](const HistoryEntry& kept) { return kept.SameSong(entry); });
            if (!known)
                m_entries.append(entry);
        }
        end = start - 1;
    }
    emit Changed();
}

bool SongHistory::Add(HistoryEntry entry)
{
    entry.title = CutTitle(entry.title);
    m_entries.prepend(entry);
    if (m_entries.size() > kMaxEntries)
        m_entries.removeLast();
    emit Changed();
    return Append(EntryLine(entry));
}

bool SongHistory::SetNewestFile(const QString& file)
{
    if (m_entries.isEmpty())
        return false;
    m_entries.first().file = file;
    emit Changed();
    return Append(EntryLine(m_entries.first()));
}

bool SongHistory::Clear()
{
    m_entries.clear();
    emit Changed();
    return Rewrite();
}

bool SongHistory::Append(const QByteArray& line)
{
    if (m_linesInFile >= 2 * kMaxEntries)
        return Rewrite();
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return Failed(QStringLiteral("cannot make the folder of %1").arg(m_path));
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return Failed(file.errorString());
    // A last line cut short (a crash, a full disk) must not swallow this one.
    QByteArray bytes = line;
    if (file.size() > 0 && file.seek(file.size() - 1) && file.peek(1) != "\n")
        bytes.prepend('\n');
    file.seek(file.size());
    if (file.write(bytes) != bytes.size() || !file.flush())
        return Failed(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return Failed(file.errorString());
    ++m_linesInFile;
    m_failureSaid = false;
    return true;
}

bool SongHistory::Rewrite()
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return Failed(QStringLiteral("cannot make the folder of %1").arg(m_path));
    // Written whole or not at all: the old file stays until the new one is complete.
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed(file.errorString());
    for (auto entry = m_entries.crbegin(); entry != m_entries.crend(); ++entry)
        file.write(EntryLine(*entry));
    if (!file.commit())
        return Failed(file.errorString());
    m_linesInFile = int(m_entries.size());
    m_failureSaid = false;
    return true;
}

bool SongHistory::Failed(const QString& message)
{
    m_error = message;
    if (!m_failureSaid) {
        m_failureSaid = true;
        emit WriteFailed(message);
    }
    return false;
}

} // namespace orvex
