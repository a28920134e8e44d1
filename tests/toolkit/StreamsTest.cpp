#include "Exceptions.h"
#include "PipeWatch.h"
#include "Streams.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

using namespace orvex;

namespace {

class FileStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("song.mp3"));
        QFile file(m_path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("0123456789");
    }
    QTemporaryDir m_dir;
    QString m_path;
};

QString OpenError(const QString& path, unsigned mode)
{
    try {
        TFileStream stream(path, mode);
    } catch (const EFOpenError& e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST_F(FileStreamTest, ReadersThatShareReadingCoexist)
{
    TFileStream holder(m_path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(OpenError(m_path, fmOpenRead | fmShareDenyWrite), QString());
    EXPECT_EQ(OpenError(m_path, fmOpenRead | fmShareDenyNone), QString());
}

TEST_F(FileStreamTest, AnExclusiveOpenFailsWhileAnotherStreamHoldsTheFile)
{
    auto holder = std::make_unique<TFileStream>(m_path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(OpenError(m_path, fmOpenRead | fmShareExclusive),
              QStringLiteral("Cannot open file \"%1\". The process cannot access the file because it is being used "
                             "by another process").arg(m_path));
    // Asking for no sharing at all is refused the same way.
    EXPECT_FALSE(OpenError(m_path, fmOpenRead).isEmpty());
    // The holder lets nobody write.
    EXPECT_FALSE(OpenError(m_path, fmOpenReadWrite | fmShareDenyNone).isEmpty());
    holder.reset();
    EXPECT_EQ(OpenError(m_path, fmOpenRead | fmShareExclusive), QString());
}

TEST_F(FileStreamTest, AnExclusiveHolderLocksOutReaders)
{
    TFileStream holder(m_path, fmOpenRead | fmShareExclusive);
    EXPECT_FALSE(OpenError(m_path, fmOpenRead | fmShareDenyNone).isEmpty());
}

TEST_F(FileStreamTest, ARefusedCreateLeavesTheHeldFileWhole)
{
    TFileStream holder(m_path, fmOpenRead | fmShareDenyWrite);
    EXPECT_TRUE(OpenError(m_path, fmCreate).startsWith(QStringLiteral("Cannot create file")));
    EXPECT_EQ(QFileInfo(m_path).size(), 10);
}

TEST_F(FileStreamTest, AMissingFileNamesTheFileAndTheSystemsReason)
{
    const QString missing = m_dir.filePath(QStringLiteral("gone.mp3"));
    EXPECT_EQ(OpenError(missing, fmOpenRead), QStringLiteral("Cannot open file \"%1\". No such file or directory").arg(missing));
}

TEST_F(FileStreamTest, AFolderNamedLikeAFileIsRefusedWithTheSystemsReason)
{
    const QString folder = m_dir.filePath(QStringLiteral("album.mp3"));
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_EQ(OpenError(folder, fmOpenRead), QStringLiteral("Cannot open file \"%1\". Is a directory").arg(folder));
    EXPECT_EQ(OpenError(folder, fmOpenRead | fmShareDenyNone),
              QStringLiteral("Cannot open file \"%1\". Is a directory").arg(folder));
    // A refused open holds nothing: the folder's name can be taken alone afterwards.
    EXPECT_TRUE(OpenError(folder, fmOpenRead | fmShareExclusive).endsWith(QStringLiteral("Is a directory")));
}

TEST_F(FileStreamTest, PipesAndDevicesAreRefusedWithoutWaitingOnThem)
{
    const QString pipe = m_dir.filePath(QStringLiteral("radio.mp3"));
    ASSERT_EQ(::mkfifo(pipe.toLocal8Bit().constData(), 0644), 0);
    auto watch = std::make_unique<orvex::testing::PipeWatch>(pipe.toLocal8Bit());
    const QString refused = QStringLiteral("Cannot open file \"%1\". The file cannot be accessed by the system");
    EXPECT_EQ(OpenError(pipe, fmOpenRead), refused.arg(pipe));
    EXPECT_EQ(OpenError(pipe, fmOpenRead | fmShareDenyNone), refused.arg(pipe));
    EXPECT_FALSE(watch->ReaderSeen()) << "the pipe was opened (and would have blocked its reader)";

    const QString device = QStringLiteral("/dev/null");
    EXPECT_EQ(OpenError(device, fmOpenRead), refused.arg(device));
    EXPECT_TRUE(OpenError(device, fmCreate).startsWith(QStringLiteral("Cannot create file \"/dev/null\".")));
}

TEST_F(FileStreamTest, ReadsSeeksAndStopsAtTheEnd)
{
    TFileStream stream(m_path, fmOpenRead | fmShareDenyNone);
    EXPECT_EQ(stream.Size(), 10);
    stream.Seek(-3, TSeekOrigin::soEnd);
    char tail[8] = {};
    EXPECT_EQ(stream.Read(tail, 8), 3);
    EXPECT_STREQ(tail, "789");
    EXPECT_THROW(stream.ReadBuffer(tail, 1), EReadError);
}

TEST(MemoryStream, WritesGrowAndReadsStopAtTheEnd)
{
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    stream.Seek(5, TSeekOrigin::soBeginning);
    stream.WriteBuffer("z", 1);
    EXPECT_EQ(stream.Size(), 6);
    EXPECT_EQ(stream.Bytes()[3], 0); // the gap is zero-filled
    stream.SetPosition(4);
    char out[4] = {};
    EXPECT_EQ(stream.Read(out, 4), 2);
    EXPECT_THROW(stream.ReadBuffer(out, 1), EReadError);
}
