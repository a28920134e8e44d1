#include "NetworkReach.h"

namespace orvex::NetworkReach {

Reach OfAddress(const QHostAddress& address)
{
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped); // also an IPv4 address mapped into IPv6
    if (mapped) {
        const auto in = [v4](quint32 net, int bits) { return (v4 >> (32 - bits)) == (net >> (32 - bits)); };
        if (in(0x7F000000, 8) || in(0x00000000, 8)) // 0.0.0.0/8 reaches this machine too
            return Reach::Loopback;
        if (in(0xA9FE0000, 16))
            return Reach::LinkLocal;
        if (in(0x0A000000, 8) || in(0xAC100000, 12) || in(0xC0A80000, 16) || in(0x64400000, 10))
            return Reach::Private;
        return Reach::Public;
    }
    if (address.isLoopback() || address == QHostAddress(QHostAddress::AnyIPv6))
        return Reach::Loopback;
    if (address.isLinkLocal())
        return Reach::LinkLocal;
    if (address.isUniqueLocalUnicast() || address.isSiteLocal())
        return Reach::Private;
    return Reach::Public;
}

std::optional<Reach> OfHost(const QString& host)
{
    const QString name = host.toLower();
    if (name == u"localhost" || name.endsWith(u".localhost"))
        return Reach::Loopback;
    QHostAddress address;
    if (!address.setAddress(host))
        return std::nullopt;
    return OfAddress(address);
}

QString Refusal(Reach from, Reach to, const QUrl& target)
{
    const bool refused = (from == Reach::Public && to != Reach::Public) ||
                         (from != Reach::Loopback && from != Reach::Public && to == Reach::Loopback);
    if (!refused)
        return {};
    const QString where = to == Reach::Loopback ? QStringLiteral("this computer")
                          : to == Reach::LinkLocal ? QStringLiteral("the local link")
                                                   : QStringLiteral("a private network");
    return QStringLiteral("refused to follow the station to %1, an address on %2").arg(target.toString(), where);
}

} // namespace orvex::NetworkReach
