#include "Mci.h"
#include "Picture.h"
#include "WebBrowser.h"

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#ifdef ORVEX_OWN_SESSION_BUS
#include "OwnSessionBus.h"
#endif

// Every test program runs with an application object, as the program does.
int main(int argc, char** argv)
{
#ifdef ORVEX_OWN_SESSION_BUS
    if (!orvex::testing::OnOwnSessionBus())
        return orvex::testing::RestartOnOwnSessionBus(argc, argv);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    // Headless unless told otherwise (CTest also sets these).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ORVEX_AUDIO_SINK"))
        qputenv("ORVEX_AUDIO_SINK", "fakesink");
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    orvex::PrepareBrowserEngine();
    QApplication app(argc, argv);
    // Remembered choices go to a folder of the run's own, never the user's.
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    // What the program keeps and caches (My stations, favicons) goes there
    // too, and the station directory is never the public one: tests that
    // need one start their own.
    qputenv("XDG_DATA_HOME", QFile::encodeName(settings.path() + QStringLiteral("/data")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(settings.path() + QStringLiteral("/cache")));
    if (qEnvironmentVariableIsEmpty("ORVEX_DIRECTORY_URL"))
        qputenv("ORVEX_DIRECTORY_URL", "http://127.0.0.1:1");
    orvex::RegisterStandardPictureFormats();
    orvex::MciRegisterStandardDrivers();
    return RUN_ALL_TESTS();
}
