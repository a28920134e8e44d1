#pragma once

#include "AudioFrames.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <deque>

namespace orvex {

// The file name made from a text that came from the network (a song title,
// a station name), without its extension: separators and the characters
// other systems refuse become '_', control and formatting characters go,
// text that is not valid becomes U+FFFD, runs of dots shrink to one, and
// leading dots, trailing dots and blanks at either end go. Cut on a
// character boundary to at most maxBytes of UTF-8. May come out empty.
QString CleanFileName(const QString& text, int maxBytes);

// An ID3v1 trailer in code page 1252 (characters it lacks become '?'),
// each field cut to its size: the title and artist split from a stream
// title "Artist - Title" (all of it is the title when it has no " - "),
// the album, the year, the comment "Radio" and genre 255 (none).
QByteArray MakeId3v1Tag(const QString& streamTitle, const QString& album, int year);

// Where recordings go: the folder Local mode lists when the program may
// write there and it is not the program's own (programFolder, or a folder
// within it), else "Orvex" in the user's music folder, made when missing.
// Ends in '/'; empty when neither can be written.
QString RecordingFolder(const QString& listedFolder, const QString& programFolder = QString());

// Whether a stream of this content type can be recorded, and how: MP3 as
// ".mp3" files, AAC (ADTS) as ".aac" files.
std::optional<FrameFormat> RecordingFormat(const QString& contentType);

// Writes a station's stream into files, one per song: the stream's own
// bytes, cut on frame boundaries at title changes so that each file plays
// from its first byte. A song shorter than kShortestSongMs of audio goes on
// in the file under way (a title that flickers makes no files of its own);
// a file is made and named once its song has lasted that long, or at the
// end. A file is named "Artist - Title.mp3" after the title; the part
// before the first title, and a stream without titles, after the station
// and the time the file began. An existing file is never overwritten:
// " (2)", " (3)" ... is added, counting on from the last number the
// recorder gave that name. Every MP3 file gets an ID3v1 tag
// when it ends (at a title change, on Stop, on destruction or on a write
// error). A write error (a full disk, a file-size limit) ends the recording
// with a message; the file keeps its whole frames and its tag.
class StreamRecorder : public QObject {
    Q_OBJECT
public:
    static constexpr int kShortestSongMs = 4000;

    explicit StreamRecorder(QObject* parent = nullptr);
    ~StreamRecorder() override;

    // Starts recording a stream of contentType from the station into folder;
    // title is the song already under way, if known. False, with the reason
    // in Error(), when the type cannot be recorded.
    bool Start(const QString& folder, const QString& contentType, const QString& station,
               const QString& title = QString());
    // The stream's audio bytes, as received.
    void Write(const QByteArray& audio);
    // A new song starts with the next frame.
    void SetTitle(const QString& title);
    // Ends the file being written and the recording.
    void Stop();

    bool IsRecording() const { return m_recording; }
    // The name (no folder) of the file being written; empty before its first frame.
    QString FileName() const;
    const QString& Error() const { return m_error; }

signals:
    void FileStarted(const QString& path);
    void FileFinished(const QString& path);
    // The recording stopped by itself, with the reason.
    void Failed(const QString& message);

private:
    // Writes the frames held for the song under way: into the file under way,
    // or into a new file named after the song.
    bool WritePending(bool newFile);
    bool OpenFile();
    void FinishFile();
    bool WriteFrames(const QByteArray& frames, const std::vector<int>& lengths);
    // Ends the recording after a failure, keeping what was written whole.
    void Fail(const QString& message);

    bool m_recording = false;
    FrameFormat m_format = FrameFormat::Mp3;
    FrameSplitter m_splitter{FrameFormat::Mp3};
    QString m_folder;
    QString m_station;
    QString m_title;     // the song under way
    QString m_fileTitle; // the song the file under way is named after
    QString m_path;
    QString m_untitledTitle; // the tag's title when the stream gave none
    QString m_error;
    int m_fd = -1;
    qint64 m_size = 0;
    // Where the last frames written end: a write error cuts back to one.
    std::deque<qint64> m_frameEnds;
    // The frames of a song not yet long enough for a file of its own.
    QByteArray m_pending;
    std::vector<int> m_pendingLengths;
    qint64 m_pendingMs = 0;
    bool m_songPending = false; // the title changed since the file under way began
    QHash<QString, int> m_lastCopy;
};

} // namespace orvex
