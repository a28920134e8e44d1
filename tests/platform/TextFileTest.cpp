#include "Ansi.h"
#include "Exceptions.h"
#include "TextFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvex;

TEST(TextFile, ReadsPastTheEndGiveEmptyLinesAndEofHolds)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.txt"));
    {
        TTextFile file(path);
        file.Rewrite();
        file.WriteLn("one");
        file.WriteLn(QByteArray("tw\0o", 4)); // bytes pass unchanged
        file.Close();
    }
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_EQ(raw.readAll(), QByteArray("one\r\ntw\0o\r\n", 11));

    TTextFile file(path);
    file.Reset();
    EXPECT_FALSE(file.Eof());
    EXPECT_EQ(file.ReadLn(), "one");
    EXPECT_EQ(file.ReadLn(), QByteArray("tw\0o", 4));
    EXPECT_TRUE(file.Eof());
    EXPECT_EQ(file.ReadLn(), QByteArray());
    EXPECT_EQ(file.ReadLn(), QByteArray());
    EXPECT_TRUE(file.Eof());
}

TEST(TextFile, MisuseAndFailuresRaiseInputOutputErrorsNamingTheFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.txt"));
    TTextFile file(path);
    try {
        file.Reset();
        FAIL() << "a missing file opened";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), ENOENT);
        EXPECT_TRUE(e.Message().contains(path));
    }
    EXPECT_THROW(file.Close(), EInOutError);
    file.Rewrite();
    EXPECT_THROW(file.ReadLn(), EInOutError); // opened for writing
    file.Close();
    file.Reset();
    EXPECT_THROW(file.WriteLn("x"), EInOutError); // opened for reading
}

TEST(Ansi, TheWesternCodePageRoundTrips)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const QString text = AnsiToString(all);
    EXPECT_EQ(text[0x80], QChar(0x20AC)); // euro sign
    EXPECT_EQ(text[0x93], QChar(0x201C)); // left double quotation mark
    EXPECT_EQ(text[0xE7], QChar(0xE7));   // c cedilla
    EXPECT_EQ(StringToAnsi(text), all);
    EXPECT_EQ(StringToAnsi(QStringLiteral("Can\u00e7\u00e3o \u65e5")), QByteArray("Can\xe7\xe3o ?"));
}
