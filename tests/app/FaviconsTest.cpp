#include "Favicons.h"

#include "FakeDirectory.h"
#include "WindowFixture.h"

#include <QDir>
#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace orvex {
namespace {

using testing::FakeDirectory;
using testing::PumpUntil;

TEST(Favicons, APictureThatFailsGetsThePlaceholderAndAGoodOneIsCached)
{
    FakeDirectory directory(8);
    ASSERT_TRUE(directory.Start());
    directory.Answer(QStringLiteral("/bad/huge"), {200, QByteArray(50 * 1024 * 1024, 'x'), "image/png"});
    directory.Answer(QStringLiteral("/bad/page"), {200, "<html><body>Not a picture</body></html>", "text/html"});
    directory.Answer(QStringLiteral("/bad/endless"), {200, {}, "image/png", /*silent=*/true});
    const QString good = directory.Url() + QStringLiteral("/favicon/3.png");
    const QString other = directory.Url() + QStringLiteral("/favicon/4.png");
    const QStringList fetched{good,
                              directory.Url() + QStringLiteral("/bad/huge.png"),
                              directory.Url() + QStringLiteral("/bad/page.png"),
                              directory.Url() + QStringLiteral("/bad/endless.png"),
                              other};
    QTemporaryDir cache;
    const QString folder = cache.path() + QStringLiteral("/favicons/");
    Favicons pictures(QSize(20, 20), folder);
    pictures.SetTimeout(1500);
    QHash<QString, QIcon> ready;
    QObject::connect(&pictures, &Favicons::Ready, [&](const QString& url, const QIcon& icon) { ready.insert(url, icon); });
    const qint64 placeholder = pictures.Placeholder().cacheKey();
    // Addresses that are no web addresses are never fetched.
    for (const char* never : {"file:///etc/passwd", "javascript:alert(1)", ""})
        EXPECT_EQ(pictures.Icon(QString::fromLatin1(never)).cacheKey(), placeholder) << never;
    for (const QString& url : fetched)
        EXPECT_TRUE(pictures.Icon(url).isNull());
    EXPECT_EQ(pictures.Fetching(), 4);
    EXPECT_EQ(pictures.Waiting(), 1);

    ASSERT_TRUE(PumpUntil([&] { return ready.size() == fetched.size(); }, 20000));
    for (const QString& url : fetched)
        EXPECT_EQ(ready[url].cacheKey() == placeholder, url != good && url != other) << url.toStdString();
    EXPECT_EQ(ready[good].availableSizes().value(0), QSize(20, 20));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    // The next start has the good ones from its cache.
    Favicons again(QSize(20, 20), folder);
    EXPECT_FALSE(again.Icon(good).isNull());
    EXPECT_EQ(again.Fetching(), 0);
}

} // namespace
} // namespace orvex
