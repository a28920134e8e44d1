#include "Mci.h"
#include "Picture.h"
#include "WebBrowser.h"

#include <QApplication>
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
    orvex::RegisterStandardPictureFormats();
    orvex::MciRegisterStandardDrivers();
    return RUN_ALL_TESTS();
}
