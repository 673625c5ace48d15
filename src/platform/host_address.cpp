#include "host_address.h"

#include <QHostAddress>

namespace {

std::optional<quint16> portOf(QStringView text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port < 1 || port > 65535 || text.startsWith(u'+'))
        return std::nullopt;
    return quint16(port);
}

bool plausibleHost(const QString &host)
{
    if (host.isEmpty())
        return false;
    for (QChar c : host) {
        if (c.isSpace() || c == u'/' || c == u'[' || c == u']' || c == u'@')
            return false;
    }
    return true;
}

} // namespace

std::optional<HostAddress> parseHostAddress(const QString &text, quint16 defaultPort)
{
    const QString s = text.trimmed();
    if (s.startsWith(u'[')) {
        const auto close = s.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        const QString host = s.mid(1, close - 1);
        if (QHostAddress(host).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        const QStringView rest = QStringView(s).mid(close + 1);
        if (rest.isEmpty())
            return HostAddress{host, defaultPort};
        if (!rest.startsWith(u':'))
            return std::nullopt;
        const auto port = portOf(rest.mid(1));
        if (!port)
            return std::nullopt;
        return HostAddress{host, *port};
    }
    // More than one colon: a bare IPv6 address, which has no room for a port.
    if (s.count(u':') > 1) {
        if (QHostAddress(s).protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        return HostAddress{s, defaultPort};
    }
    const auto colon = s.indexOf(u':');
    if (colon >= 0) {
        const QString host = s.left(colon);
        const auto port = portOf(QStringView(s).mid(colon + 1));
        if (!port || !plausibleHost(host))
            return std::nullopt;
        return HostAddress{host, *port};
    }
    if (!plausibleHost(s))
        return std::nullopt;
    return HostAddress{s, defaultPort};
}
