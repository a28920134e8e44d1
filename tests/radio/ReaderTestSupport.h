#pragma once

#include "StreamReader.h"

#include "ScriptServer.h"

#include <QStringList>
#include <QTest>

namespace orvex::testing {

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
        QObject::connect(&reader, &StreamReader::Ended, [this](const QString& r) { Finish(QStringLiteral("Ended"), r); });
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

} // namespace orvex::testing
