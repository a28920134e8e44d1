#include "Persistent.h"

#include "Exceptions.h"

#include <typeinfo>

namespace orvex {

void TPersistent::Assign(const TPersistent& source)
{
    source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const
{
    throw EInvalidOperation(QStringLiteral("Cannot assign a %1 to a %2")
                                .arg(QString::fromLatin1(typeid(*this).name()),
                                     QString::fromLatin1(typeid(dest).name())));
}

} // namespace orvex
