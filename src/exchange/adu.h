#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Modbus TCP application data units (Modbus Messaging on TCP/IP Implementation Guide,
// section 3.1): a 7-byte MBAP header (transaction id, protocol id, length of what follows,
// all big-endian, then the unit id) followed by the function code and its data.
namespace adu {

constexpr int HeaderSize = 7;       // MBAP header including the unit id
constexpr int MaxLengthField = 254; // unit id + largest PDU (253 bytes)
constexpr int MaxAduSize = 6 + MaxLengthField;
constexpr quint8 UnitId = 1;

enum FunctionCode : quint8 {
    ReadCoils = 1,
    ReadDiscreteInputs = 2,
    ReadHoldingRegisters = 3,
    WriteMultipleCoils = 15,
    WriteMultipleRegisters = 16,
};

// Requests always carry transaction id 0 and unit id 1.
QByteArray readRequest(quint8 functionCode, quint8 startHigh, quint8 startLow, quint8 quantityHigh,
                       quint8 quantityLow);
QByteArray writeRegistersRequest(quint16 start, const QList<quint16> &values);
QByteArray writeCoilsRequest(quint16 start, quint16 quantity, const QByteArray &packedBits);

// Reassembly of replies from a TCP byte stream, which may split a reply or join several.
enum class FrameStatus { NeedMore, Complete, Malformed };
struct Frame {
    FrameStatus status;
    QByteArray adu; // the whole reply when Complete
};

// Takes the first whole reply off the front of pending. NeedMore leaves pending as it is;
// Malformed means the header cannot start a Modbus TCP reply (protocol id not 0, or a
// length field outside 2..254), after which nothing in pending can be trusted.
Frame takeFrame(QByteArray &pending);

} // namespace adu
