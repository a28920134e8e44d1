#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

namespace orvex {

// One title the radio showed: when it started (local time with its offset),
// on which station, and the recording that holds it, if any.
struct HistoryEntry {
    QDateTime time;
    QString station;
    QString address;
    QString title;
    QString file; // the recording's full path; empty when none was made
    bool SameSong(const HistoryEntry& other) const
    {
        return time == other.time && address == other.address && title == other.title;
    }
};

// The titles heard, newest first, at most kMaxEntries, kept in a file of one
// JSON object a line that is only ever appended to (and, once it holds twice
// the entries kept, written anew whole or not at all). A line that cannot be
// read is skipped, never the whole file; a later line for the same song
// (same time, address and title) stands for it, which is how a song learns
// the file it was recorded into.
class SongHistory : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxEntries = 2000;
    // Titles longer than this are cut where they are kept and shown.
    static constexpr int kMaxTitleLength = 1000;

    explicit SongHistory(const QString& path, QObject* parent = nullptr);

    // $XDG_DATA_HOME/orvex/history.jsonl (~/.local/share when unset).
    static QString DefaultPath();

    const QString& Path() const { return m_path; }
    const QList<HistoryEntry>& Entries() const { return m_entries; }
    // Reads the file again; what cannot be read is left out.
    void Load();
    // Keeps an entry as the newest; false when the file could not take it
    // (the entry is kept for this run all the same).
    bool Add(HistoryEntry entry);
    // The newest entry was recorded into file.
    bool SetNewestFile(const QString& file);
    // Forgets every entry and empties the file.
    bool Clear();
    // What the last failed write said.
    const QString& Error() const { return m_error; }

    static QByteArray EntryLine(const HistoryEntry& entry);
    // False when the line holds no readable entry.
    static bool ParseLine(const QByteArray& line, HistoryEntry* entry);

signals:
    void Changed();
    // A write failed; said once a run, until a write succeeds again.
    void WriteFailed(const QString& message);

private:
    bool Append(const QByteArray& line);
    bool Rewrite();
    bool Failed(const QString& message);

    QString m_path;
    QList<HistoryEntry> m_entries;
    int m_linesInFile = 0;
    bool m_failureSaid = false;
    QString m_error;
};

} // namespace orvex
