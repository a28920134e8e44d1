#include "Mci.h"
#include "Picture.h"
#include "WebBrowser.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#ifdef ORVEX_OWN_SESSION_BUS
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>
#endif

// Every test program runs with an application object, as the program does.
int main(int argc, char** argv)
{
#ifdef ORVEX_OWN_SESSION_BUS
    // Programs that put players on the session bus run on a bus of their
    // own, never on the desktop's: they start themselves again under one.
    if (!std::getenv("ORVEX_OWN_SESSION_BUS")) {
        setenv("ORVEX_OWN_SESSION_BUS", "1", 1);
        std::vector<char*> command{const_cast<char*>("dbus-run-session"), const_cast<char*>("--")};
        command.insert(command.end(), argv, argv + argc);
        command.push_back(nullptr);
        execvp(command[0], command.data());
        std::perror("dbus-run-session");
        return 1;
    }
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
    orvex::RegisterStandardPictureFormats();
    orvex::MciRegisterStandardDrivers();
    return RUN_ALL_TESTS();
}
