#pragma once

#include <QHostAddress>
#include <QString>
#include <QUrl>
#include <optional>

namespace orvex::NetworkReach {

// How far an address reaches: this machine, the local link, a private
// network, or the internet.
enum class Reach { Loopback, LinkLocal, Private, Public };

Reach OfAddress(const QHostAddress& address);

// The reach of an address's host when it shows without a name lookup (an
// address written as numbers, "localhost"); nothing for other names.
std::optional<Reach> OfHost(const QString& host);

// Why a station at from may not send the reader on to target (a redirect, a
// playlist's entry); empty when it may. A station on the internet may not
// lead into this machine, its link or a private network, nor one on a
// private network into this machine: a hostile station would make the
// reader (and the connection probe) speak to local services for it.
QString Refusal(Reach from, Reach to, const QUrl& target);

} // namespace orvex::NetworkReach
