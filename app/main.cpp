#include "Application.h"
#include "GIFUnit.h"
#include "Mci.h"
#include "Mpris.h"
#include "Picture.h"
#include "WebBrowser.h"
#include "History.h"
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
    orvex::RegisterStandardPictureFormats();
    orvex::TGIFUnit gifUnit;
    orvex::MciRegisterStandardDrivers();

    orvex::TfrmOrvex frmOrvex;
    orvex::Application().MainForm = &frmOrvex;
    // Media keys, panels and playerctl reach the window over the session bus.
    orvex::WindowMediaHost mediaHost(frmOrvex);
    orvex::MprisService mpris(mediaHost);
    frmOrvex.show();
    // The desktop entry's "Histórico de músicas" action.
    if (app.arguments().contains(QStringLiteral("--history")))
        frmOrvex.History->ShowWindow();
    return app.exec();
}
