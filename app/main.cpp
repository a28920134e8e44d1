#include "Application.h"
#include "Picture.h"
#include "Unit1.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    orvex::Application().Title = QStringLiteral("Orvex");
    orvex::RegisterStandardPictureFormats();

    orvex::TfrmOrvex frmOrvex;
    orvex::Application().MainForm = &frmOrvex;
    frmOrvex.show();
    return app.exec();
}
