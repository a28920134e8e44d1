#include "StreamReader.h"

#include <QMetaObject>

namespace orvex {

class StreamReader::Session {};

StreamReader::StreamReader(QObject* parent) : QObject(parent) {}

StreamReader::~StreamReader() = default;

void StreamReader::Open(const QUrl& address)
{
    Close();
    QMetaObject::invokeMethod(
        this, [this, address] { emit Failed(QStringLiteral("cannot read %1 yet").arg(address.toString())); },
        Qt::QueuedConnection);
}

void StreamReader::Close()
{
    m_session.reset();
}

} // namespace orvex
