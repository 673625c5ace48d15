#pragma once

#include <QByteArray>
#include <QtGlobal>

// Modbus puts every 16-bit field on the wire big-endian, high byte first (Modbus Application
// Protocol, section 4.2). The caller has checked that both bytes are there.
inline quint16 be16(const QByteArray &bytes, qsizetype at)
{
    return quint16(quint8(bytes[at]) << 8 | quint8(bytes[at + 1]));
}

inline void appendBe16(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xff));
}
