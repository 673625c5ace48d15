#pragma once

#include "framing.h"

#include <QString>
#include <QtGlobal>
#include <optional>

// The unit a request goes to unless the operator names another: a device that is not behind a
// gateway answers any unit, and 1 is what most of them are set to.
constexpr quint8 DefaultUnitId = 1;

// What the address box names: the framing, the TCP address of the device or of the converter
// in front of it, and the unit. "192.168.0.10", "plc1:1502#3", "[::1]:1502" and
// "tcp://gw.local#17" speak Modbus TCP; "rtu://192.168.0.20:4001#5" speaks Modbus RTU over the
// TCP connection, for serial devices behind a converter that passes the RTU frames as they
// are. The scheme is case-insensitive; the port defaults to 502 and the unit to 1.
struct DeviceAddress {
    const framing::Framing *framing;
    QString host;
    quint16 port;
    quint8 unit;
};

// Empty for a text no connection can be made to: an unknown scheme, no host, a port outside
// 1..65535, a unit that is not 0..255 ("#256", "#x", "#" alone, a second "#"), or a host with
// blanks or the characters of a URL's other parts. Surrounding blanks are ignored.
std::optional<DeviceAddress> parseDeviceAddress(const QString &text);
