#pragma once

#include <QString>
#include <optional>

// Where to connect, from the text the operator typed: "192.168.0.10" or "plc1" on the
// default port, "host:port", "[fe80::1]:1502" or a bare IPv6 address. Empty for a text that
// names no host or a port outside 1..65535; surrounding blanks are ignored.
struct HostAddress {
    QString host;
    quint16 port;
};

std::optional<HostAddress> parseHostAddress(const QString &text, quint16 defaultPort);
