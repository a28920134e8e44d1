#include "IcecastServer.h"
#include "Mp3Maker.h"

#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

using orvex::testing::IcecastServer;

namespace {

// The radio tests' server helper: it must report a failure for what it is,
// without waiting out its time-out, and keep the test's event loop running.
class IcecastServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_track = m_dir.filePath(QStringLiteral("live.mp3"));
        ASSERT_TRUE(orvex::testing::MakeMp3(m_track, 2.0));
    }

    QTemporaryDir m_dir;
    QString m_track;
};

TEST_F(IcecastServerTest, StartingRunsTheEventLoopAndTheMountPlays)
{
    bool timerRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    IcecastServer icecast;
    ASSERT_TRUE(icecast.Start(m_track)) << icecast.Error().toStdString();
    // Nothing between the start and here ran the event loop but the helper.
    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(icecast.MountPlays());
    icecast.StopSource();
    EXPECT_FALSE(icecast.MountPlays());
    ASSERT_TRUE(icecast.StartSource()) << icecast.Error().toStdString();
    EXPECT_TRUE(icecast.MountPlays());
}

TEST_F(IcecastServerTest, AnotherProgramOnThePortIsNotTakenForTheServer)
{
    // A program that accepts connections and never answers holds the port:
    // the server cannot bind it and ends.
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, 0));
    IcecastServer icecast;
    EXPECT_FALSE(icecast.Start(m_track, squatter.serverPort()));
    EXPECT_TRUE(icecast.Error().startsWith(QStringLiteral("icecast2"))) << icecast.Error().toStdString();
}

TEST_F(IcecastServerTest, ASourceThatEndsIsReportedAsEnded)
{
    // A control character cannot stand in the source's configuration: the
    // source refuses it and ends before it ever reaches the server.
    const QString odd = m_dir.filePath(QStringLiteral("odd\u0001.mp3"));
    ASSERT_TRUE(QFile::copy(m_track, odd));
    IcecastServer icecast;
    EXPECT_FALSE(icecast.Start(odd));
    EXPECT_TRUE(icecast.Error().startsWith(QStringLiteral("ezstream ended"))) << icecast.Error().toStdString();
}

} // namespace
