#include "Application.h"
#include "Hints.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <gtest/gtest.h>

// Lets failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

using namespace orvex;

namespace {

// Records what the application's exception handler is given.
class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Application().OnException = [this](const Exception& e) { m_shown.push_back(e.Message()); };
    }
    void TearDown() override { Application().OnException = nullptr; }
    std::vector<QString> m_shown;
};

// What a label given this text (as the hint label and the message box are)
// shows, read as plain text.
QString Shown(const QString& text)
{
    QTextDocument document;
    if (Qt::mightBeRichText(text))
        document.setHtml(text);
    else
        document.setPlainText(text);
    return document.toPlainText();
}

} // namespace

TEST_F(HandlerTest, AHandlersExceptionReachesTheApplicationOnce)
{
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] { Guarded([] { throw Exception(QStringLiteral("boom")); }); });
    button.click();
    EXPECT_EQ(m_shown, std::vector<QString>{QStringLiteral("boom")});
}

TEST_F(HandlerTest, AFiredHandlersFailureEndsTheStepsOfTheCodeThatFiredIt)
{
    // A sequence of steps like the window's creation: the second fires a
    // handler by checking a radio button, and that handler fails.
    QRadioButton second;
    second.setAutoExclusive(false);
    QObject::connect(&second, &QRadioButton::toggled, [](bool checked) {
        if (checked)
            Guarded([] { throw Exception(QStringLiteral("layout failed")); });
    });
    bool laterStepRan = false;
    Guarded([&] {
        RaiseFromHandlers([&] { second.setChecked(true); });
        laterStepRan = true;
    });
    EXPECT_FALSE(laterStepRan);
    EXPECT_EQ(m_shown, std::vector<QString>{QStringLiteral("layout failed")});
    // The toolkit finished its own work: the button is checked.
    EXPECT_TRUE(second.isChecked());

    // Outside, the same handler reports for itself again.
    m_shown.clear();
    second.setChecked(false);
    second.setChecked(true);
    EXPECT_EQ(m_shown, std::vector<QString>{QStringLiteral("layout failed")});
}

TEST_F(HandlerTest, OnlyTheFirstOfSeveralFiredFailuresIsRaisedAndNestingUnwinds)
{
    QPushButton button;
    int runs = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        Guarded([&] { throw Exception(QStringLiteral("failure %1").arg(++runs)); });
    });
    try {
        RaiseFromHandlers([&] {
            RaiseFromHandlers([&] { button.click(); });
        });
        FAIL() << "nothing was raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("failure 1"));
    }
    try {
        RaiseFromHandlers([&] {
            button.click();
            button.click();
        });
        FAIL() << "nothing was raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("failure 2"));
    }
    EXPECT_EQ(runs, 3);
    // Nothing is left waiting: a later failure goes to the application.
    button.click();
    EXPECT_EQ(m_shown, std::vector<QString>{QStringLiteral("failure 4")});
}

TEST(Hints, AHintThatLooksLikeMarkupShowsAsItStands)
{
    ShowHintsAsPlainText();
    QWidget window;
    window.resize(200, 100);
    window.show();
    for (const QString& hint : {QStringLiteral("/music/<b>x</b>/"), QStringLiteral("a  &amp; b"),
                                QStringLiteral("Home Station")}) {
        window.setToolTip(hint);
        QHelpEvent event(QEvent::ToolTip, QPoint(5, 5), window.mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(&window, &event);
        ASSERT_TRUE(QToolTip::isVisible()) << hint.toStdString();
        EXPECT_EQ(Shown(QToolTip::text()), hint);
        QToolTip::hideText();
    }
}

TEST(MessageBox, AMessageIsShownAsPlainText)
{
    QString format;
    QString shown;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            shown = label && label->textFormat() == Qt::PlainText ? label->text() : Shown(box->text());
            box->accept();
        }
    });
    watch.start(5);
    Application().MessageBox(QStringLiteral("Cannot open file \"/music/<b>x.mp3\". Is a directory"));
    EXPECT_EQ(shown, QStringLiteral("Cannot open file \"/music/<b>x.mp3\". Is a directory"));
}
