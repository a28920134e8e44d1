#include "StreamRecorder.h"

#include "Id3Tag.h"
#include "Mp3Maker.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace orvex;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// How many frames the bytes hold when they are frames end to end, else -1.
int WholeFrames(FrameFormat format, const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    qsizetype pos = 0;
    int count = 0;
    while (pos < bytes.size()) {
        const auto header = ParseFrameHeader(format, data + pos, static_cast<std::size_t>(bytes.size() - pos));
        if (!header || pos + header->length > bytes.size())
            return -1;
        pos += header->length;
        ++count;
    }
    return count;
}

// The six fields the program's tag reader fills.
struct ShownTag {
    QLineEdit title, artist, album, year, genre, comment;
    explicit ShownTag(const QString& path) { ReadId3Tag(path, &title, &artist, &album, &year, &genre, &comment); }
};

// An ADTS frame of the given length with an empty payload (44.1 kHz stereo AAC-LC).
QByteArray AdtsFrame(int length)
{
    QByteArray frame(length, '\0');
    const unsigned char header[7] = {0xFF, 0xF1, 0x50, static_cast<unsigned char>(0x80 | (length >> 11)),
                                     static_cast<unsigned char>(length >> 3),
                                     static_cast<unsigned char>(((length & 7) << 5) | 0x1F), 0xFC};
    std::memcpy(frame.data(), header, sizeof header);
    return frame;
}

class StreamRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.path() + u'/';
        const QString mp3 = m_dir.path() + QStringLiteral("/source/tone.mp3");
        QDir().mkpath(m_dir.path() + QStringLiteral("/source"));
        ASSERT_TRUE(orvex::testing::MakeMp3(mp3, 3.0));
        m_mp3 = ReadAll(mp3);
        ASSERT_GT(WholeFrames(FrameFormat::Mp3, m_mp3), 100);
    }

    QStringList Recorded(const QString& filter = QStringLiteral("*.mp3")) const
    {
        return QDir(m_folder).entryList({filter}, QDir::Files, QDir::Name);
    }

    // Feeds bytes in uneven pieces, as a network hands them out.
    static void Feed(StreamRecorder& recorder, const QByteArray& bytes)
    {
        for (qsizetype pos = 0, step = 1; pos < bytes.size(); pos += step, step = step * 7 % 1499 + 1)
            recorder.Write(bytes.mid(pos, step));
    }

    QTemporaryDir m_dir;
    QString m_folder;
    QByteArray m_mp3;
};

} // namespace

TEST(AudioFrames, ReadsLayerThreeHeadersOfEveryVersion)
{
    struct Case {
        const char* what;
        std::uint8_t header[4];
        int length; // 0: refused
        int rate;
    };
    const Case cases[] = {
        {"MPEG-1 128 kbit/s 44.1 kHz", {0xFF, 0xFB, 0x90, 0x00}, 417, 44100},
        {"the same, padded", {0xFF, 0xFB, 0x92, 0x00}, 418, 44100},
        {"MPEG-1 320 kbit/s 32 kHz", {0xFF, 0xFB, 0xE8, 0x00}, 1440, 32000},
        {"MPEG-2 64 kbit/s 22.05 kHz", {0xFF, 0xF3, 0x80, 0x00}, 208, 22050},
        {"MPEG-2.5 8 kbit/s 8 kHz", {0xFF, 0xE3, 0x18, 0x00}, 72, 8000},
        {"layer II", {0xFF, 0xFD, 0x90, 0x00}, 0, 0},
        {"free-format bitrate", {0xFF, 0xFB, 0x00, 0x00}, 0, 0},
        {"bad bitrate", {0xFF, 0xFB, 0xF0, 0x00}, 0, 0},
        {"reserved sample rate", {0xFF, 0xFB, 0x9C, 0x00}, 0, 0},
        {"reserved version", {0xFF, 0xEB, 0x90, 0x00}, 0, 0},
        {"no sync", {0xFF, 0x7B, 0x90, 0x00}, 0, 0},
    };
    for (const Case& c : cases) {
        const auto header = ParseMp3Header(c.header, 4);
        EXPECT_EQ(header ? header->length : 0, c.length) << c.what;
        EXPECT_EQ(header ? header->sampleRate : 0, c.rate) << c.what;
    }
    const QByteArray adts = AdtsFrame(371);
    const auto header = ParseAdtsHeader(reinterpret_cast<const std::uint8_t*>(adts.constData()), 7);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->length, 371);
    EXPECT_EQ(header->sampleRate, 44100);
}

TEST_F(StreamRecorderTest, KeepsEveryFrameAndDropsWhatIsNone)
{
    // Joined mid-frame, with a station's tags between the files it plays.
    QByteArray id3v2("ID3\x04\x00\x00\x00\x00\x01\x00", 10);
    id3v2 += QByteArray(128, '\xff'); // a body full of false sync bytes
    const QByteArray stream = m_mp3.mid(100) + id3v2 + m_mp3 + "TAG" + QByteArray(125, '\xff') + m_mp3;
    FrameSplitter splitter(FrameFormat::Mp3);
    QByteArray out;
    std::vector<int> lengths;
    for (qsizetype pos = 0; pos < stream.size(); pos += 333) {
        splitter.Append(stream.mid(pos, 333));
        out += splitter.TakeFrames(lengths);
    }
    // The frame the stream was joined in is lost; every whole frame is kept.
    const int first = ParseMp3Header(reinterpret_cast<const std::uint8_t*>(m_mp3.constData()), 4)->length;
    EXPECT_EQ(out, m_mp3.mid(first) + m_mp3 + m_mp3);
}

// A tag's size is a claim: a large real tag before the first frames is
// skipped whole, and a bogus one that claims more than follows ends where
// frames are found again.
TEST_F(StreamRecorderTest, RecordsAroundLargeAndBogusTags)
{
    const auto tag = [](quint32 claimed, const QByteArray& body) {
        QByteArray t("ID3\x03\x00\x00", 6);
        for (int shift = 21; shift >= 0; shift -= 7)
            t += char((claimed >> shift) & 0x7F);
        return t + body;
    };
    const QByteArray art(100 * 1024, '\x11'); // cover art
    struct Case {
        const char* what;
        QByteArray stream, expected;
    };
    const Case cases[] = {
        {"100 KB tag first", tag(art.size(), art) + m_mp3, m_mp3},
        {"a tag claiming 192 MB mid-stream", m_mp3 + tag(192 * 1024 * 1024, "junk") + m_mp3 + m_mp3, m_mp3.repeated(3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamRecorder recorder;
        ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("S"), QStringLiteral("A - B")));
        QSignalSpy failed(&recorder, &StreamRecorder::Failed);
        Feed(recorder, c.stream);
        recorder.Stop();
        EXPECT_EQ(failed.count(), 0);
        EXPECT_EQ(ReadAll(m_folder + QStringLiteral("A - B.mp3")).chopped(128), c.expected);
        QFile::remove(m_folder + QStringLiteral("A - B.mp3"));
    }
}

TEST_F(StreamRecorderTest, CutsOneTaggedFilePerTitleOnFrameBoundaries)
{
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("Zorvel R\u00e1dio")));
    QSignalSpy finished(&recorder, &StreamRecorder::FileFinished);
    const QByteArray stream = m_mp3.repeated(5); // three songs of 5 s
    const qsizetype third = stream.size() / 3;
    Feed(recorder, stream.left(third));
    recorder.SetTitle(QStringLiteral("Jo\u00e3o Ca\u00e7\u00e3o - Ol\u00e1 \u20ac Caf\u00e9"));
    Feed(recorder, stream.mid(third, third));
    recorder.SetTitle(QStringLiteral("Untitled song"));
    Feed(recorder, stream.mid(2 * third));
    recorder.Stop(); // mid-song

    ASSERT_EQ(finished.count(), 3);
    const QStringList names = Recorded();
    ASSERT_EQ(names.size(), 3) << names.join(u',').toStdString();
    const QString year = QString::number(QDate::currentDate().year());
    struct Expected {
        QString name, title, artist;
    };
    const QString stationFile = names.filter(QRegularExpression(
        QStringLiteral("^Zorvel R\u00e1dio \\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.mp3$"))).value(0);
    const Expected expected[] = {
        {stationFile, stationFile.mid(13).chopped(4), QString()},
        {QStringLiteral("Jo\u00e3o Ca\u00e7\u00e3o - Ol\u00e1 \u20ac Caf\u00e9.mp3"), QStringLiteral("Ol\u00e1 \u20ac Caf\u00e9"),
         QStringLiteral("Jo\u00e3o Ca\u00e7\u00e3o")},
        {QStringLiteral("Untitled song.mp3"), QStringLiteral("Untitled song"), QString()},
    };
    QByteArray audio;
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name.toStdString());
        ASSERT_FALSE(e.name.isEmpty());
        const QByteArray bytes = ReadAll(m_folder + e.name);
        ASSERT_TRUE(bytes.right(128).startsWith("TAG"));
        EXPECT_GT(WholeFrames(FrameFormat::Mp3, bytes.chopped(128)), 10);
        audio += bytes.chopped(128);
        const ShownTag tag(m_folder + e.name);
        EXPECT_EQ(tag.title.text(), e.title);
        EXPECT_EQ(tag.artist.text(), e.artist);
        EXPECT_EQ(tag.album.text(), QStringLiteral("Zorvel R\u00e1dio"));
        EXPECT_EQ(tag.year.text(), year);
        EXPECT_EQ(tag.comment.text(), QStringLiteral("Radio"));
        EXPECT_EQ(tag.genre.text(), QStringLiteral("255"));
    }
    // Nothing lost or doubled at the cuts.
    EXPECT_EQ(audio, stream);
}

// A title that changes every moment makes no files of its own: a song
// shorter than a few seconds goes on in the file under way, and the song
// under way when recording starts is named by its title.
TEST_F(StreamRecorderTest, KeepsShortSongsInTheFileUnderWay)
{
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("S"), QStringLiteral("A - Under way")));
    const QByteArray song = m_mp3.repeated(2); // 6 s
    Feed(recorder, song);
    const qsizetype tenth = m_mp3.size() / 10;
    for (int i = 0; i < 10; ++i) {
        recorder.SetTitle(QStringLiteral("Flicker %1").arg(i));
        recorder.Write(m_mp3.mid(i * tenth, i == 9 ? -1 : tenth));
    }
    recorder.SetTitle(QStringLiteral("B - Steady"));
    Feed(recorder, song);
    recorder.Stop();
    EXPECT_EQ(Recorded(), QStringList({"A - Under way.mp3", "B - Steady.mp3"}));
    EXPECT_EQ(ReadAll(m_folder + QStringLiteral("A - Under way.mp3")).chopped(128), song + m_mp3);
    EXPECT_EQ(ReadAll(m_folder + QStringLiteral("B - Steady.mp3")).chopped(128), song);
}

TEST_F(StreamRecorderTest, MakesSafeNamesFromHostileTitles)
{
    const QString lone = QString(QChar(0xD800));
    const QString note = QStringLiteral("\U0001F3B5");
    struct Case {
        QString title, name;
    };
    const Case cases[] = {
        {QStringLiteral("../../etc/passwd"), QStringLiteral("_._etc_passwd.mp3")},
        {QStringLiteral(".hidden"), QStringLiteral("hidden.mp3")},
        {QStringLiteral(" a\x01 b\nc\x7f\u0085 "), QStringLiteral("a bc.mp3")},
        {QStringLiteral("AC/DC - T.N.T..."), QStringLiteral("AC_DC - T.N.T.mp3")},
        {QStringLiteral("Who?: <Me>|*\"\\"), QStringLiteral("Who__ _Me_____.mp3")},
        {QStringLiteral("\u202Egnp.exe"), QStringLiteral("gnp.exe.mp3")},
        {lone + QStringLiteral("x"), QStringLiteral("\uFFFDx.mp3")},
        {QString(300, QChar(0xE9)), QString(98, QChar(0xE9)) + QStringLiteral(".mp3")},
        {QStringLiteral("a") + note.repeated(60), QStringLiteral("a") + note.repeated(48) + QStringLiteral(".mp3")},
    };
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("S")));
    QSignalSpy started(&recorder, &StreamRecorder::FileStarted);
    const QByteArray song = m_mp3.repeated(2);
    for (const Case& c : cases) {
        recorder.SetTitle(c.title);
        recorder.Write(song);
        ASSERT_EQ(started.count(), 1) << c.name.toStdString();
        const QString path = started.takeFirst().at(0).toString();
        EXPECT_EQ(path, m_folder + c.name);
        EXPECT_LE(QFileInfo(path).fileName().toUtf8().size(), 200);
    }
    // A title that cleans to nothing is named after the station.
    recorder.SetTitle(QStringLiteral("..."));
    recorder.Write(song);
    ASSERT_EQ(started.count(), 1);
    EXPECT_TRUE(QFileInfo(started.takeFirst().at(0).toString()).fileName().startsWith(QStringLiteral("S 2")));
}

TEST_F(StreamRecorderTest, NeverOverwritesAnExistingFile)
{
    for (const QString& name : {QStringLiteral("A - B.mp3"), QStringLiteral("A - B (2).mp3")}) {
        QFile taken(m_folder + name);
        ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
        taken.write("keep");
    }
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("S")));
    const QByteArray song = m_mp3.repeated(2);
    for (int copy = 0; copy < 4; ++copy) {
        recorder.SetTitle(copy % 2 ? QStringLiteral("A - B") : QStringLiteral("first"));
        recorder.Write(song);
        // Copies count on from the last one made: a name freed meanwhile is not tried again.
        QFile::remove(m_folder + QStringLiteral("first.mp3"));
    }
    recorder.SetTitle(QString());
    recorder.Write(song);
    recorder.Stop();
    EXPECT_EQ(ReadAll(m_folder + QStringLiteral("A - B.mp3")), "keep");
    EXPECT_EQ(ReadAll(m_folder + QStringLiteral("A - B (2).mp3")), "keep");
    EXPECT_GT(WholeFrames(FrameFormat::Mp3, ReadAll(m_folder + QStringLiteral("A - B (3).mp3")).chopped(128)), 0);
    EXPECT_GT(WholeFrames(FrameFormat::Mp3, ReadAll(m_folder + QStringLiteral("A - B (4).mp3")).chopped(128)), 0);
    EXPECT_TRUE(QFile::exists(m_folder + QStringLiteral("first (2).mp3")));
}

TEST_F(StreamRecorderTest, WriteErrorStopsWithAPlayableTaggedFile)
{
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("S")));
    QSignalSpy failed(&recorder, &StreamRecorder::Failed);
    recorder.SetTitle(QStringLiteral("A - Long song"));
    constexpr rlim_t kLimit = 20000;
    rlimit old = {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = kLimit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    // The recorder itself keeps the limit's signal from ending the program.
    Feed(recorder, m_mp3.repeated(2));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);

    ASSERT_EQ(failed.count(), 1);
    EXPECT_TRUE(failed.at(0).at(0).toString().contains(QStringLiteral("A - Long song.mp3")));
    EXPECT_FALSE(recorder.IsRecording());
    const QByteArray bytes = ReadAll(m_folder + QStringLiteral("A - Long song.mp3"));
    EXPECT_LE(bytes.size(), static_cast<qsizetype>(kLimit));
    EXPECT_GT(bytes.size(), static_cast<qsizetype>(kLimit) - 128 - 1441);
    ASSERT_TRUE(bytes.right(128).startsWith("TAG"));
    EXPECT_GT(WholeFrames(FrameFormat::Mp3, bytes.chopped(128)), 0);
    EXPECT_EQ(ShownTag(m_folder + QStringLiteral("A - Long song.mp3")).title.text(), QStringLiteral("Long song"));
}

TEST_F(StreamRecorderTest, RecordsAacAsUntaggedAdtsAndRefusesOtherTypes)
{
    QByteArray adts;
    for (int i = 0; i < 50; ++i)
        adts += AdtsFrame(300 + i);
    StreamRecorder recorder;
    EXPECT_FALSE(recorder.Start(m_folder, QStringLiteral("application/ogg"), QStringLiteral("S")));
    EXPECT_FALSE(recorder.Error().isEmpty());
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/aacp"), QStringLiteral("S")));
    recorder.SetTitle(QStringLiteral("A - B"));
    Feed(recorder, adts.mid(5)); // joined mid-frame
    recorder.Stop();
    EXPECT_EQ(ReadAll(m_folder + QStringLiteral("A - B.aac")), adts.mid(300));
    EXPECT_TRUE(Recorded().isEmpty());
}

TEST_F(StreamRecorderTest, StopsOnAStreamWithoutFrames)
{
    StreamRecorder recorder;
    ASSERT_TRUE(recorder.Start(m_folder, QStringLiteral("audio/mpeg"), QStringLiteral("S")));
    QSignalSpy failed(&recorder, &StreamRecorder::Failed);
    recorder.Write(ReadAll(QStringLiteral(ORVEX_SOURCE_DIR "/assets/stereo.jpg")).repeated(20));
    EXPECT_EQ(failed.count(), 1);
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_TRUE(QDir(m_folder).entryList(QDir::Files).isEmpty());
}

TEST_F(StreamRecorderTest, RecordsIntoTheListedFolderOrTheUsersOwn)
{
    const QString config = m_dir.path() + QStringLiteral("/config");
    QDir().mkpath(config);
    QFile dirs(config + QStringLiteral("/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("XDG_MUSIC_DIR=\"" + QFile::encodeName(m_dir.path()) + "/Music\"\n");
    dirs.close();
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    EXPECT_EQ(RecordingFolder(m_dir.path()), m_folder);
    EXPECT_EQ(RecordingFolder(m_folder + QStringLiteral("missing/")), m_folder + QStringLiteral("Music/Orvex/"));
    EXPECT_TRUE(QFileInfo(m_folder + QStringLiteral("Music/Orvex")).isDir());
    // Never into the program's own files, nor a folder within them.
    QDir().mkpath(m_folder + QStringLiteral("program/samples"));
    for (const QString& listed : {QStringLiteral("program"), QStringLiteral("program/samples/")})
        EXPECT_EQ(RecordingFolder(m_folder + listed, m_folder + QStringLiteral("program/")),
                  m_folder + QStringLiteral("Music/Orvex/"));
    EXPECT_EQ(RecordingFolder(m_dir.path(), m_folder + QStringLiteral("program")), m_folder);
    if (oldConfig.isEmpty())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}
