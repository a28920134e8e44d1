#include "Application.h"
#include "GIFUnit.h"
#include "Mci.h"
#include "Mpris.h"
#include "OpenArguments.h"
#include "Picture.h"
#include "WebBrowser.h"
#include "Unit1.h"
#include "WindowMediaHost.h"

#include <QApplication>

int main(int argc, char** argv)
{
    orvex::PrepareBrowserEngine();
    QApplication app(argc, argv);
    orvex::Application().Title = QStringLiteral("Orvex");
    // Window managers and the desktop's media controls match the window to
    // the installed desktop entry by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.example.kelvara.Orvex"));
    // What the desktop hands over (files, addresses): one program at a time
    // opens it; a second start hands it to the first and ends.
    const QStringList arguments = app.arguments().mid(1);
    if (const QString refused = orvex::ArgumentsRefused(arguments); !refused.isEmpty()) {
        orvex::Application().MessageBox(refused);
        return 1;
    }
    const QStringList targets = orvex::Targets(arguments);
    if (orvex::HandOverToRunningProgram(targets.isEmpty() ? QString() : orvex::ArgumentUri(targets.first())))
        return 0;
    orvex::RegisterStandardPictureFormats();
    orvex::TGIFUnit gifUnit;
    orvex::MciRegisterStandardDrivers();

    orvex::TfrmOrvex frmOrvex;
    orvex::Application().MainForm = &frmOrvex;
    // Media keys, panels and playerctl reach the window over the session bus.
    orvex::WindowMediaHost mediaHost(frmOrvex);
    orvex::MprisService mpris(mediaHost);
    orvex::OpenArguments(frmOrvex, arguments);
    frmOrvex.show();
    return app.exec();
}
