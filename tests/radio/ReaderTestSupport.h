#pragma once

#include "StreamReader.h"

#include "ScriptServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QStringList>
#include <QTcpSocket>
#include <QTest>
#include <functional>
#include <memory>

namespace orvex::testing {

// Runs the test thread's events until done holds or the time is up;
// whether done holds.
inline bool PumpUntil(const std::function<bool()>& done, int milliseconds = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// What a reader said, in order.
struct Recorder {
    explicit Recorder(StreamReader& reader)
    {
        QObject::connect(&reader, &StreamReader::Opened, [this](const StreamInfo& i) {
            info = i;
            events << QStringLiteral("Opened");
        });
        QObject::connect(&reader, &StreamReader::Data, [this](const QByteArray& bytes) { audio += bytes; });
        QObject::connect(&reader, &StreamReader::TitleChanged, [this](const QString& t) { titles << t; });
        QObject::connect(&reader, &StreamReader::Failed, [this](const QString& r) { Finish(QStringLiteral("Failed"), r); });
        QObject::connect(&reader, &StreamReader::Ended, [this](const QString& r, bool retry) {
            Finish(retry ? QStringLiteral("Ended") : QStringLiteral("Over"), r);
        });
    }
    void Finish(const QString& how, const QString& why)
    {
        events << how;
        reason = why;
        done = true;
    }
    bool Wait(int ms = 30000) { return QTest::qWaitFor([this] { return done; }, ms); }

    StreamInfo info;
    QStringList events;
    QStringList titles;
    QByteArray audio;
    QString reason;
    bool done = false;
};

// A client of the program's feed in the test's own thread: what it sends
// and what has come back so far.
struct FeedClient {
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    QByteArray answer;
    FeedClient(quint16 port, const QByteArray& request)
    {
        QObject::connect(socket.get(), &QTcpSocket::readyRead, [this] { answer += socket->readAll(); });
        socket->connectToHost(QHostAddress::LocalHost, port);
        socket->write(request);
    }
    bool Closed() const { return socket->state() == QAbstractSocket::UnconnectedState; }
    // Waits until the feed has answered and closed.
    QByteArray Whole()
    {
        // A feed that never closes leaves what came so far to the caller.
        PumpUntil([this] { return Closed(); });
        return answer;
    }
};

} // namespace orvex::testing
