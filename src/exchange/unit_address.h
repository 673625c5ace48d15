#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// The address box names the device's TCP address and, for a device behind a Modbus TCP to
// serial gateway, its unit: "192.168.0.10#3", "gw.local:502#17", "[::1]:1502#3". Without the
// suffix the unit is the default one.
struct UnitAddress {
    QString address; // what the connection goes to: the text before "#"
    quint8 unit;
};

// Empty for a suffix that is not a unit identifier from 0 to 255 ("#256", "#-1", "#x", "#"
// alone, a second "#").
std::optional<UnitAddress> splitUnitAddress(const QString &text);
