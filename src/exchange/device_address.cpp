#include "device_address.h"

#include "platform/socket_control.h"

#include <QUrl>

namespace {

const framing::Framing *framingNamed(QStringView scheme)
{
    if (scheme.compare(u"tcp", Qt::CaseInsensitive) == 0)
        return &framing::ModbusTcp;
    if (scheme.compare(u"rtu", Qt::CaseInsensitive) == 0)
        return &framing::ModbusRtu;
    return nullptr;
}

std::optional<quint8> unitOf(QStringView digits)
{
    digits = digits.trimmed();
    if (digits.isEmpty() || digits.size() > 3)
        return std::nullopt;
    uint unit = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9') // plain digits only: no sign, no second "#"
            return std::nullopt;
        unit = unit * 10 + (c.unicode() - u'0');
    }
    if (unit > 255)
        return std::nullopt;
    return quint8(unit);
}

std::optional<quint16> portOf(QStringView text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port < 1 || port > 65535 || text.startsWith(u'+'))
        return std::nullopt;
    return quint16(port);
}

// An IPv6 address, with or without a zone ("fe80::1%eth0"), as a URL's host takes it.
bool isIpv6(const QString &host)
{
    if (!host.contains(u':'))
        return false;
    QUrl url;
    url.setHost(host.section(u'%', 0, 0), QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty();
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

struct HostPort {
    QString host;
    quint16 port;
};

// "192.168.0.10" or "plc1" on the default port, "host:port", "[fe80::1]:1502" or a bare IPv6
// address, which has no room for a port.
std::optional<HostPort> hostPortOf(const QString &s)
{
    const quint16 defaultPort = SocketControl::DefaultPort;
    if (s.startsWith(u'[')) {
        const auto close = s.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        const QString host = s.mid(1, close - 1);
        if (!isIpv6(host))
            return std::nullopt;
        const QStringView rest = QStringView(s).mid(close + 1);
        if (rest.isEmpty())
            return HostPort{host, defaultPort};
        if (!rest.startsWith(u':'))
            return std::nullopt;
        const auto port = portOf(rest.mid(1));
        if (!port)
            return std::nullopt;
        return HostPort{host, *port};
    }
    if (s.count(u':') > 1) {
        if (!isIpv6(s))
            return std::nullopt;
        return HostPort{s, defaultPort};
    }
    const auto colon = s.indexOf(u':');
    if (colon >= 0) {
        const QString host = s.left(colon);
        const auto port = portOf(QStringView(s).mid(colon + 1));
        if (!port || !plausibleHost(host))
            return std::nullopt;
        return HostPort{host, *port};
    }
    if (!plausibleHost(s))
        return std::nullopt;
    return HostPort{s, defaultPort};
}

} // namespace

std::optional<DeviceAddress> parseDeviceAddress(const QString &text)
{
    QString rest = text.trimmed();
    const framing::Framing *framing = &framing::ModbusTcp;
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        framing = framingNamed(QStringView(rest).left(scheme));
        if (!framing)
            return std::nullopt;
        rest = rest.mid(scheme + 3);
    }
    quint8 unit = DefaultUnitId;
    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0) {
        const auto named = unitOf(QStringView(rest).mid(hash + 1));
        if (!named)
            return std::nullopt;
        unit = *named;
        rest.truncate(hash);
    }
    const auto target = hostPortOf(rest.trimmed());
    if (!target)
        return std::nullopt;
    return DeviceAddress{framing, target->host, target->port, unit};
}
