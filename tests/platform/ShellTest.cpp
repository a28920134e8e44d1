#include "Shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <thread>

using namespace orvex;

TEST(Shell, CommandLinesSplitOnBlanksOutsideQuotes)
{
    EXPECT_EQ(SplitCommandLine(QStringLiteral("  xdg-open   http://a.example/x  ")),
              (QStringList{QStringLiteral("xdg-open"), QStringLiteral("http://a.example/x")}));
    EXPECT_EQ(SplitCommandLine(QStringLiteral("sh -c \"echo a b\" \"\"")),
              (QStringList{QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("echo a b"), QString()}));
    EXPECT_TRUE(SplitCommandLine(QStringLiteral("   ")).isEmpty());
}

TEST(Shell, MissingProgramsAndFoldersGiveTheirOwnResults)
{
    EXPECT_EQ(RunProgram(QStringLiteral("orvex-no-such-program-xyz --flag"), 1), kExecFileNotFound);
    EXPECT_EQ(RunProgram(QStringLiteral("/no/such/folder/program"), 1), kExecPathNotFound);
    EXPECT_EQ(RunProgram(QStringLiteral("/tmp/orvex-no-such-program-xyz"), 1), kExecFileNotFound);
    EXPECT_EQ(RunProgram(QString(), 1), kExecFileNotFound);
}

TEST(Shell, AFileThatIsNotAProgramIsRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x7f" "ELF but not really");
    file.close();
    EXPECT_EQ(RunProgram(path, 1), kExecAccessDenied); // not executable
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(RunProgram(path, 1), kExecBadFormat);
}

TEST(Shell, AStartedProgramRunsOnItsOwnWithItsArguments)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath(QStringLiteral("ran"));
    EXPECT_EQ(RunProgram(QStringLiteral("sh -c \"echo started > '%1'\"").arg(marker), 1), kExecStarted);
    QElapsedTimer timer;
    timer.start();
    while (!QFile::exists(marker) && timer.elapsed() < 5000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(QFile::exists(marker));
}
