#include <QApplication>
#include <gtest/gtest.h>

// The GIF suites run with an application object, as the program does, so
// that picture code that draws finds its fonts and screen.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
