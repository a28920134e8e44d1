#include "MessagePump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <mutex>

namespace orvex {

namespace {

QEvent::Type QuitMessageType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

class QuitMessage : public QEvent {
public:
    explicit QuitMessage(int exitCode) : QEvent(QuitMessageType()), ExitCode(exitCode) {}
    const int ExitCode;
};

// Carries out quit messages that reach the message loop: it ends with the
// message's exit code.
class QuitReceiver : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() != QuitMessageType())
            return QObject::event(event);
        QCoreApplication::exit(static_cast<QuitMessage*>(event)->ExitCode);
        return true;
    }
};

// The receiver lives on the application's thread and goes with the
// application object.
QuitReceiver* Receiver()
{
    static std::mutex mutex;
    static QPointer<QuitReceiver> receiver;
    std::lock_guard lock(mutex);
    if (!receiver) {
        QCoreApplication* app = QCoreApplication::instance();
        receiver = new QuitReceiver;
        receiver->moveToThread(app->thread());
        receiver->setParent(app);
    }
    return receiver;
}

// Holds back the quit requests that arrive while a pump runs.
class QuitCatcher : public QObject {
public:
    TQuitRequest Caught;
    bool application = false; // the application's own quit, not a quit message

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool quitMessage = event->type() == QuitMessageType();
        const bool appQuit = event->type() == QEvent::Quit && watched == QCoreApplication::instance();
        if (!quitMessage && !appQuit)
            return false;
        if (!Caught.seen) {
            Caught.seen = true;
            Caught.exitCode = quitMessage ? static_cast<QuitMessage*>(event)->ExitCode : 0;
            application = appQuit;
        }
        return true;
    }
};

} // namespace

void PostQuitMessage(int exitCode)
{
    if (!QCoreApplication::instance())
        return;
    QCoreApplication::postEvent(Receiver(), new QuitMessage(exitCode));
}

TQuitRequest ProcessMessages()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return {};
    QuitCatcher catcher;
    app->installEventFilter(&catcher);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    app->removeEventFilter(&catcher);
    if (catcher.Caught.seen) {
        if (catcher.application)
            QCoreApplication::postEvent(app, new QEvent(QEvent::Quit));
        else
            PostQuitMessage(catcher.Caught.exitCode);
    }
    return catcher.Caught;
}

} // namespace orvex
