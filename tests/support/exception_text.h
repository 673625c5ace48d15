#pragma once

#include <QMap>
#include <QString>

// The status text of a Modbus exception reply, with the standard names of the codes. Kept
// apart from the tool's own table so the tests check it rather than restate it.
inline QString exceptionText(int code)
{
    static const QMap<int, QString> names{
        {1, "Illegal function"},
        {2, "Illegal data address"},
        {3, "Illegal data value"},
        {4, "Server device failure"},
        {5, "Acknowledge"},
        {6, "Server device busy"},
        {8, "Memory parity error"},
        {10, "Gateway path unavailable"},
        {11, "Gateway target device failed to respond"},
    };
    const QString head = QStringLiteral("Modbus exception %1").arg(code);
    return names.contains(code) ? head + QStringLiteral(": ") + names[code] : head;
}
