#pragma once

#include "Application.h"
#include "FolderChooser.h"
#include "StreamServer.h"
#include "Unit1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

// Lets failure messages show texts as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace orvex::testing {

inline const QString kAssets = QStringLiteral(ORVEX_SOURCE_DIR "/assets/");

// Runs the event loop until done() holds or the time is up; returns done().
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Builds the window over a program folder of the test's own, holding the
// page template as shipped, and records the message boxes and exception
// messages the window would show.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_exeDir.isValid());
        UseExeFolder(m_exeDir.path() + QLatin1Char('/'));
        ASSERT_TRUE(QFile::copy(kAssets + QStringLiteral("indexIIc.htm"), ExePath(QStringLiteral("indexIIc.htm"))));
        Application().MessageBoxHook = [this](const MessageBoxRecord& box) { m_boxes.push_back(box); };
        Application().OnException = [this](const Exception& e) { m_errors.push_back(e.Message()); };
        // Each window starts as on a first run: no remembered folder or station.
        QSettings(QStringLiteral("Orvex"), QStringLiteral("Orvex")).remove(QStringLiteral("Start"));
    }
    void TearDown() override
    {
        m_form.reset();
        FolderChooserHook = nullptr;
        Application().MessageBoxHook = nullptr;
        Application().OnException = nullptr;
        Application().SetExeFolder(QString());
    }
    void UseExeFolder(const QString& folder) { Application().SetExeFolder(folder); }
    QString ExePath(const QString& name) const { return m_exeDir.filePath(name); }
    void WriteFile(const QString& name, const QByteArray& content)
    {
        QFile::remove(ExePath(name));
        QFile file(ExePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QByteArray ReadFile(const QString& name) const
    {
        QFile file(ExePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    TfrmOrvex& Form()
    {
        if (!m_form)
            m_form = std::make_unique<TfrmOrvex>();
        return *m_form;
    }
    // Shows the window in Local mode over a folder, as if chosen with the
    // folder button; what showing it reported about its pictures is cleared.
    void OpenMusicFolder(const QString& folder)
    {
        FolderChooserHook = [folder](const QString&) { return folder; };
        TfrmOrvex& form = Form();
        form.show();
        form.rdButtonLOCALAudio->setChecked(true);
        form.bitBtnOpenFolder->click();
        m_errors.clear();
    }
    // Starts a station of the tests' own on 127.0.0.1 (an endless stream of
    // one track) and sets it, with the path given, as a typed address.
    ::testing::AssertionResult SetTestStation(StreamServer& server, const QString& track,
                                              const QString& path = QString())
    {
        if (!server.SetTracks({track}))
            return ::testing::AssertionFailure() << "cannot read " << track.toStdString();
        if (!server.Start(QHostAddress::LocalHost, 0))
            return ::testing::AssertionFailure() << "cannot listen";
        Form().editAddress->setText(QStringLiteral("127.0.0.1:%1").arg(server.Port()) + path);
        Form().bitBtnSETRemote->click();
        return ::testing::AssertionSuccess();
    }
    // Runs a script in the shown page and returns its value.
    QVariant Evaluate(const QString& script)
    {
        QVariant result;
        bool done = false;
        Form().WebBrowser1->View()->page()->runJavaScript(script, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        PumpUntil([&] { return done; }, 5000);
        return result;
    }

    QTemporaryDir m_exeDir;
    std::vector<MessageBoxRecord> m_boxes;
    std::vector<QString> m_errors;
    std::unique_ptr<TfrmOrvex> m_form;
};

} // namespace orvex::testing
