#include "WindowFixture.h"

#include "Exceptions.h"
#include "ProgramFiles.h"
#include "Unit1.h"

#include <QDir>
#include <QUrl>

using namespace orvex;
using orvex::testing::PumpUntil;

namespace {

// The program's folder in a scratch tree, laid out as a build folder (the
// page template beside the program) or as an installed tree (<root>/bin and
// its data folder), with the cache under the test's own $XDG_CACHE_HOME.
class ProgramFilesTest : public orvex::testing::WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        m_oldCache = qgetenv("XDG_CACHE_HOME");
        m_oldHome = qgetenv("HOME");
        qputenv("XDG_CACHE_HOME", QFile::encodeName(Root() + QStringLiteral("cache")));
    }
    void TearDown() override
    {
        qputenv("XDG_CACHE_HOME", m_oldCache);
        qputenv("HOME", m_oldHome);
        WindowFixture::TearDown();
    }
    QString Root() const { return m_exeDir.path() + QLatin1Char('/'); }
    QString Bin() const { return Root() + QStringLiteral("bin/"); }
    QString Data() const { return QDir::cleanPath(Bin() + ProgramFiles::InstalledDataPath()) + QLatin1Char('/'); }
    // Moves the template from beside the program into the data folder of an
    // installed tree; without data, the data folder is not made at all.
    void Install(bool withData = true)
    {
        ASSERT_TRUE(QDir().mkpath(Bin()));
        if (withData) {
            ASSERT_TRUE(QDir().mkpath(Data()));
            ASSERT_TRUE(QFile::rename(ExePath(QStringLiteral("indexIIc.htm")), Data() + QStringLiteral("indexIIc.htm")));
        } else {
            ASSERT_TRUE(QFile::remove(ExePath(QStringLiteral("indexIIc.htm"))));
        }
        UseExeFolder(Bin());
    }

    QByteArray m_oldCache;
    QByteArray m_oldHome;
};

TEST_F(ProgramFilesTest, FilesAreReadBesideTheProgramOrFromTheInstalledDataFolder)
{
    enum class Layout { Build, BuildBesideAnInstalledTree, Installed };
    struct Case {
        Layout layout;
        const char* name;
    };
    for (const Case& c : {Case{Layout::Build, "build folder"}, Case{Layout::BuildBesideAnInstalledTree, "build in bin/"},
                          Case{Layout::Installed, "installed"}}) {
        SCOPED_TRACE(c.name);
        UseExeFolder(Root());
        QDir(Bin()).removeRecursively();
        QDir(Root() + QStringLiteral("share")).removeRecursively();
        if (!QFile::exists(ExePath(QStringLiteral("indexIIc.htm")))) {
            ASSERT_TRUE(QFile::copy(orvex::testing::kAssets + QStringLiteral("indexIIc.htm"), ExePath(QStringLiteral("indexIIc.htm"))));
        }
        QString expected = Root();
        if (c.layout == Layout::BuildBesideAnInstalledTree) {
            // A program folder holding its own files wins over a data folder.
            ASSERT_TRUE(QDir().mkpath(Data()));
            ASSERT_TRUE(QDir().mkpath(Bin()));
            ASSERT_TRUE(QFile::copy(ExePath(QStringLiteral("indexIIc.htm")), Bin() + QStringLiteral("indexIIc.htm")));
            UseExeFolder(Bin());
            expected = Bin();
        } else if (c.layout == Layout::Installed) {
            Install();
            expected = Data();
        }
        EXPECT_EQ(ProgramFiles::DataFolder(), expected);
        EXPECT_EQ(ProgramFiles::FirstMusicFolder(), expected);
        EXPECT_EQ(ProgramFiles::DataFile("auto_falantes1.gif"), expected + QStringLiteral("auto_falantes1.gif"));
    }
}

TEST_F(ProgramFilesTest, AMissingDataFolderNamesTheFileAndBothPlaces)
{
    Install(/*withData=*/false);
    EXPECT_EQ(ProgramFiles::DataFolder(), QString());
    EXPECT_EQ(ProgramFiles::FirstMusicFolder(), Bin());
    try {
        ProgramFiles::DataFile("auto_falantes1.gif");
        FAIL() << "no error for a missing data folder";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("The program's files are missing: \"auto_falantes1.gif\" is neither beside "
                                              "the program in \"%1\" nor in its data folder \"%2\"")
                                   .arg(Bin(), Data()));
    }
}

TEST_F(ProgramFilesTest, ThePageGoesBesideAWritableProgramElseIntoTheUsersCache)
{
    struct Case {
        bool installed;
        const char* xdgCache; // relative to the root; nullptr: unset
        const char* expected; // relative to the root; nullptr: the program's folder
    };
    for (const Case& c : {Case{false, "cache", nullptr}, Case{true, "cache", "cache/orvex/"},
                          Case{true, nullptr, "home/.cache/orvex/"},
                          // A relative XDG_CACHE_HOME is not used.
                          Case{true, "relative", "home/.cache/orvex/"}}) {
        SCOPED_TRACE(::testing::Message() << c.installed << ' ' << (c.xdgCache ? c.xdgCache : "unset"));
        if (c.installed && ProgramFiles::DataFolder() != Data())
            Install();
        qputenv("HOME", QFile::encodeName(Root() + QStringLiteral("home")));
        if (!c.xdgCache)
            qunsetenv("XDG_CACHE_HOME");
        else if (QByteArray(c.xdgCache) == "relative")
            qputenv("XDG_CACHE_HOME", "relative/cache");
        else
            qputenv("XDG_CACHE_HOME", QFile::encodeName(Root() + QLatin1String(c.xdgCache)));
        const QString expected = c.expected ? Root() + QLatin1String(c.expected) : Root();
        EXPECT_EQ(ProgramFiles::PlayerPageFolder(), expected);
        // The folder is there to write into.
        EXPECT_TRUE(QFileInfo(expected).isDir());
    }
}

TEST_F(ProgramFilesTest, AnInstalledProgramListsItsSamplesAndPlaysThePageFromTheCache)
{
    Install();
    WriteFile(QDir(Root()).relativeFilePath(Data() + QStringLiteral("sample.mp3")), "");
    TfrmOrvex& form = Form();
    ASSERT_TRUE(m_errors.empty()) << m_errors[0].toStdString();
    EXPECT_EQ(form.MusicFolder(), Data());
    EXPECT_EQ(form.mp3List->count(), 1);
    const QString page = Root() + QStringLiteral("cache/orvex/indexII.htm");
    EXPECT_TRUE(QFile::exists(page));
    EXPECT_FALSE(QFile::exists(Bin() + QStringLiteral("indexII.htm")));
    EXPECT_FALSE(QFile::exists(Data() + QStringLiteral("indexII.htm")));
    EXPECT_TRUE(PumpUntil([&] { return form.WebBrowser1->LocationURL() == QUrl::fromLocalFile(page).toString(); }));
}

TEST_F(ProgramFilesTest, ACacheFolderThatCannotBeMadeIsReportedWhenAStationIsSet)
{
    Install();
    // The cache root is a file: the program's folder under it cannot be made.
    WriteFile(QStringLiteral("cache"), "not a folder");
    TfrmOrvex& form = Form();
    ASSERT_EQ(m_errors.size(), 1u);
    EXPECT_EQ(m_errors[0], QStringLiteral("Cannot create the folder \"%1cache/orvex\" for the player page: Not a directory")
                               .arg(Root()));
    EXPECT_TRUE(form.WebBrowser1->LocationURL().isEmpty());
}

} // namespace
