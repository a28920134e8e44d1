#include "Application.h"
#include "Picture.h"
#include "WebBrowser.h"
#include "Unit1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    orvex::PrepareBrowserEngine();
    QApplication app(argc, argv);
    orvex::Application().Title = QStringLiteral("Orvex");
    orvex::RegisterStandardPictureFormats();

    orvex::TfrmOrvex frmOrvex;
    orvex::Application().MainForm = &frmOrvex;
    frmOrvex.show();
    return app.exec();
}
