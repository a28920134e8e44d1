#pragma once

#include <QString>
#include <QStringList>

namespace orvex {

// What the station box makes of its text. Typing never stops what plays:
// only a station's name plays (as the box completes it, or on Enter), an
// address plays on Enter, and anything else changes nothing.

// A stream address typed into the station box, as it goes into the
// address field with its method.
struct TypedAddress {
    bool ok = false;   // the text reads as a stream address
    QString address;   // as typed, blanks around it taken off
    bool http = true;  // the method: http (also https) or mms
};

// Reads text as a stream address: an http, https or mms address with a host,
// or one without a scheme that reads as host:port or host/path. Any other
// scheme (file:, javascript:, ...) and text with blanks inside are no address.
TypedAddress PickAddress(const QString& text);

// The station that text, as the box shows it after its inline completion,
// names as the user types: the position of the name it reads as (any case),
// or -1. completed is how many characters the box added after the typed
// ones; a name completed from a single typed letter waits for Enter, so
// that starting to type a name does not end what plays.
int TypedStation(const QStringList& names, const QString& text, int completed);

} // namespace orvex
