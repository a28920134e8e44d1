#include "StreamRecorder.h"

#include "Ansi.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace orvex {

namespace {

constexpr int kMaxNameBytes = 200;
constexpr int kTagSize = 128;
// A stream that shows no frame in this many bytes is not of its type.
constexpr std::size_t kMaxBytesWithoutFrames = 64 * 1024;
// Enough frame ends to step back over a tag's size even at the shortest frames.
constexpr std::size_t kFrameEndsKept = 64;
constexpr int kMaxCopyNumber = 9999;

bool IsUnwanted(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return QChar::isNonCharacter(c);
    }
}

bool IsTrimmed(QChar c)
{
    return c == u'.' || c.isSpace();
}

QString Trim(QString text)
{
    qsizetype start = 0;
    while (start < text.size() && IsTrimmed(text[start]))
        ++start;
    qsizetype end = text.size();
    while (end > start && IsTrimmed(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

// The first code points of text that fit in maxBytes of UTF-8.
QString CutToBytes(const QString& text, int maxBytes)
{
    int bytes = 0;
    QString cut;
    for (const char32_t c : text.toUcs4()) {
        const int size = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        cut += QString::fromUcs4(&c, 1);
    }
    return cut;
}

// A tag field's text: no control characters (a zero byte would end it).
QByteArray TagText(const QString& text, int width)
{
    QString clean;
    for (const QChar c : text)
        if (c.category() != QChar::Other_Control)
            clean += c;
    QByteArray bytes = StringToAnsi(clean.trimmed()).left(width);
    bytes.resize(width, '\0');
    return bytes;
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The playing time of frames end to end, in milliseconds.
qint64 FramesDurationMs(FrameFormat format, const QByteArray& frames, const std::vector<int>& lengths)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(frames.constData());
    double ms = 0;
    qsizetype at = 0;
    for (const int length : lengths) {
        if (const auto header = ParseFrameHeader(format, data + at, static_cast<std::size_t>(frames.size() - at)))
            ms += 1000.0 * header->samples / header->sampleRate;
        at += length;
    }
    return static_cast<qint64>(ms);
}

void IgnoreFileSizeSignal()
{
    // Past a file-size limit the system would end the whole program with
    // SIGXFSZ; ignored, the write fails with EFBIG and the recording stops.
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action = {};
        action.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &action, nullptr);
    });
}

} // namespace

QString CleanFileName(const QString& text, int maxBytes)
{
    QString clean;
    // toUcs4 replaces unpaired surrogates with U+FFFD.
    for (const char32_t c : text.toUcs4()) {
        if (IsUnwanted(c))
            continue;
        if (c < 0x80 && std::strchr("/\\:*?\"<>|", static_cast<char>(c)))
            clean += u'_';
        else if (c == u'.' && clean.endsWith(u'.'))
            continue;
        else
            clean += QString::fromUcs4(&c, 1);
    }
    return Trim(CutToBytes(Trim(clean), maxBytes));
}

QByteArray MakeId3v1Tag(const QString& streamTitle, const QString& album, int year)
{
    QString title = streamTitle;
    QString artist;
    const qsizetype dash = streamTitle.indexOf(QStringLiteral(" - "));
    if (dash >= 0) {
        artist = streamTitle.left(dash);
        title = streamTitle.mid(dash + 3);
    }
    QByteArray tag("TAG");
    tag += TagText(title, 30);
    tag += TagText(artist, 30);
    tag += TagText(album, 30);
    tag += TagText(QString::number(year), 4);
    tag += TagText(QStringLiteral("Radio"), 30);
    tag += '\xff';
    return tag;
}

QString RecordingFolder(const QString& listedFolder, const QString& programFolder)
{
    const auto writable = [](const QString& folder) {
        return QFileInfo(folder).isDir() && ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
    };
    const auto withSlash = [](QString folder) { return folder.endsWith(u'/') ? folder : folder + u'/'; };
    // The program's own files are no place for recordings (a package's
    // removal would leave them behind; a portable copy would mix them in).
    const auto own = [&] {
        const QString program = QFileInfo(programFolder).canonicalFilePath();
        const QString listed = QFileInfo(listedFolder).canonicalFilePath();
        return !program.isEmpty() && !listed.isEmpty() && withSlash(listed).startsWith(withSlash(program));
    };
    if (!listedFolder.isEmpty() && writable(listedFolder) && !own())
        return withSlash(listedFolder);
    QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (music.isEmpty())
        music = QDir::homePath() + QStringLiteral("/Music");
    const QString ours = music + QStringLiteral("/Orvex");
    if (!QDir().mkpath(ours) || !writable(ours))
        return {};
    return withSlash(ours);
}

std::optional<FrameFormat> RecordingFormat(const QString& contentType)
{
    const QString type = contentType.section(u';', 0, 0).trimmed().toLower();
    static const QStringList mp3 = {QStringLiteral("audio/mpeg"), QStringLiteral("audio/mp3"),
                                    QStringLiteral("audio/mpeg3"), QStringLiteral("audio/x-mpeg"),
                                    QStringLiteral("audio/x-mp3")};
    static const QStringList aac = {QStringLiteral("audio/aac"), QStringLiteral("audio/aacp"),
                                    QStringLiteral("audio/x-aac"), QStringLiteral("audio/x-aacp")};
    if (mp3.contains(type))
        return FrameFormat::Mp3;
    if (aac.contains(type))
        return FrameFormat::Adts;
    return std::nullopt;
}

StreamRecorder::StreamRecorder(QObject* parent) : QObject(parent) {}

StreamRecorder::~StreamRecorder()
{
    if (m_recording && !m_pending.isEmpty())
        WritePending(m_fd < 0);
    FinishFile();
}

bool StreamRecorder::Start(const QString& folder, const QString& contentType, const QString& station,
                           const QString& title)
{
    Stop();
    m_error.clear();
    const auto format = RecordingFormat(contentType);
    if (!format) {
        m_error = QStringLiteral("Only MP3 and AAC streams can be recorded, not \"%1\".").arg(contentType);
        return false;
    }
    if (folder.isEmpty()) {
        m_error = QStringLiteral("There is no folder to record into.");
        return false;
    }
    IgnoreFileSizeSignal();
    m_format = *format;
    m_splitter = FrameSplitter(m_format);
    m_folder = folder.endsWith(u'/') ? folder : folder + u'/';
    m_station = station;
    m_title = title;
    m_recording = true;
    return true;
}

void StreamRecorder::Write(const QByteArray& audio)
{
    if (!m_recording)
        return;
    m_splitter.Append(audio);
    std::vector<int> lengths;
    const QByteArray frames = m_splitter.TakeFrames(lengths);
    if (!frames.isEmpty()) {
        if (m_fd >= 0 && !m_songPending) {
            if (!WriteFrames(frames, lengths))
                return;
        } else {
            m_pending += frames;
            m_pendingLengths.insert(m_pendingLengths.end(), lengths.begin(), lengths.end());
            m_pendingMs += FramesDurationMs(m_format, frames, lengths);
            if (m_pendingMs >= kShortestSongMs && !WritePending(/*newFile=*/true))
                return;
        }
    }
    if (!m_splitter.Found() && m_splitter.Dropped() > kMaxBytesWithoutFrames)
        Fail(m_format == FrameFormat::Mp3 ? QStringLiteral("The stream holds no MP3 audio that can be recorded.")
                                          : QStringLiteral("The stream holds no AAC audio that can be recorded."));
}

void StreamRecorder::SetTitle(const QString& title)
{
    if (!m_recording || title == m_title)
        return;
    m_title = title;
    if (m_fd < 0)
        return; // what was held goes on into the first song's file
    // A song too short for a file of its own goes on in the file under way.
    if (!m_pending.isEmpty() && !WritePending(/*newFile=*/false))
        return;
    m_songPending = true;
}

bool StreamRecorder::WritePending(bool newFile)
{
    const QByteArray frames = std::exchange(m_pending, QByteArray());
    const std::vector<int> lengths = std::exchange(m_pendingLengths, {});
    m_pendingMs = 0;
    if (newFile) {
        // The frames written so far end the song; the one under way starts the next.
        FinishFile();
        m_songPending = false;
        m_fileTitle = m_title;
        if (!OpenFile())
            return false;
    }
    return frames.isEmpty() || WriteFrames(frames, lengths);
}

void StreamRecorder::Stop()
{
    if (m_recording && !m_pending.isEmpty())
        WritePending(m_fd < 0);
    FinishFile();
    m_recording = false;
    m_songPending = false;
    m_pending.clear();
    m_pendingLengths.clear();
    m_pendingMs = 0;
    m_splitter = FrameSplitter(m_format);
}

QString StreamRecorder::FileName() const
{
    return m_fd >= 0 ? QFileInfo(m_path).fileName() : QString();
}

bool StreamRecorder::OpenFile()
{
    const QString extension = m_format == FrameFormat::Mp3 ? QStringLiteral(".mp3") : QStringLiteral(".aac");
    QString stem = CleanFileName(m_fileTitle, kMaxNameBytes - static_cast<int>(extension.size()));
    if (stem.isEmpty()) {
        const QString time = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
        const int room = kMaxNameBytes - static_cast<int>(extension.size() + time.size()) - 1;
        QString station = CleanFileName(m_station, room);
        if (station.isEmpty())
            station = QStringLiteral("Radio");
        stem = station + u' ' + time;
        m_untitledTitle = time;
    }
    // Copies of one name are counted on from the last one made, not tried
    // again from the first.
    for (int copy = m_lastCopy.value(stem, 0) + 1; copy <= kMaxCopyNumber; ++copy) {
        const QString number = copy == 1 ? QString() : QStringLiteral(" (%1)").arg(copy);
        const int room = kMaxNameBytes - static_cast<int>(extension.size() + number.size());
        const QString name = CleanFileName(stem, room) + number + extension;
        const QString path = m_folder + name;
        // Created only when it does not exist: a file already there is never touched.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            m_lastCopy.insert(stem, copy);
            m_fd = fd;
            m_path = path;
            m_size = 0;
            m_frameEnds.assign(1, 0);
            emit FileStarted(path);
            return true;
        }
        if (errno != EEXIST) {
            Fail(QStringLiteral("Recording stopped: cannot create \"%1\". %2").arg(name, SystemError(errno)));
            return false;
        }
    }
    Fail(QStringLiteral("Recording stopped: too many files named \"%1\".").arg(stem + extension));
    return false;
}

bool StreamRecorder::WriteFrames(const QByteArray& frames, const std::vector<int>& lengths)
{
    if (m_fd < 0 && !OpenFile())
        return false;
    qsizetype done = 0;
    int error = 0;
    while (done < frames.size()) {
        const ssize_t n = ::write(m_fd, frames.constData() + done, static_cast<std::size_t>(frames.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        done += n;
    }
    const qint64 reached = m_size + done;
    qint64 end = m_size;
    for (const int length : lengths) {
        end += length;
        if (end > reached)
            break;
        m_frameEnds.push_back(end);
        if (m_frameEnds.size() > kFrameEndsKept)
            m_frameEnds.pop_front();
    }
    if (!error) {
        m_size = reached;
        return true;
    }
    // Keep whole frames only, and room for the tag within what the file
    // system took, so that the file plays to its end and still gets its tag.
    const qint64 room = m_format == FrameFormat::Mp3 ? kTagSize : 0;
    qint64 keep = m_frameEnds.front();
    for (const qint64 frameEnd : m_frameEnds)
        if (frameEnd + room <= reached)
            keep = frameEnd;
    if (::ftruncate(m_fd, keep) != 0)
        keep = reached; // cannot happen for a file we write; keep the count true
    m_size = keep;
    ::lseek(m_fd, keep, SEEK_SET);
    Fail(QStringLiteral("Recording stopped: cannot write \"%1\". %2").arg(QFileInfo(m_path).fileName(), SystemError(error)));
    return false;
}

void StreamRecorder::FinishFile()
{
    if (m_fd < 0)
        return;
    const QString path = m_path;
    if (m_size > 0 && m_format == FrameFormat::Mp3) {
        // The station is the album already: a part without title is named by its time.
        const QString title = m_fileTitle.isEmpty() ? m_untitledTitle : m_fileTitle;
        const QByteArray tag = MakeId3v1Tag(title, m_station, QDate::currentDate().year());
        if (::pwrite(m_fd, tag.constData(), tag.size(), m_size) != tag.size())
            (void)::ftruncate(m_fd, m_size); // no half tag: the frames still play
    }
    ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_frameEnds.clear();
    if (m_size == 0) {
        QFile::remove(path); // nothing but a name
        return;
    }
    emit FileFinished(path);
}

void StreamRecorder::Fail(const QString& message)
{
    m_error = message;
    Stop();
    emit Failed(message);
}

} // namespace orvex
