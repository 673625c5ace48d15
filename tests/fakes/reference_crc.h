#pragma once

#include <QByteArray>
#include <QtGlobal>

// The CRC-16 of Modbus over Serial Line worked out bit by bit as its guide gives it
// (reflected polynomial 0xA001, start 0xFFFF), apart from the tool's own, for the tests and
// the fuzz model to judge RTU frames by.
inline quint16 referenceCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

// The frame with its CRC after it, low byte first.
inline QByteArray withReferenceCrc(const QByteArray &frame)
{
    const quint16 crc = referenceCrc(frame);
    return frame + char(crc & 0xFF) + char(crc >> 8);
}
