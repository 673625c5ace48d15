#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Modbus protocol data units (Modbus Application Protocol, section 4.1): the function code
// and its data, the same whichever framing carries them to the device.
namespace pdu {

constexpr int MaxSize = 253;

// Where the fields stand in a request. Write replies carry the start address and the
// quantity at the same places; read replies their byte count after the function code.
constexpr int FunctionAt = 0;
constexpr int StartAt = 1;
constexpr int QuantityAt = 3;
constexpr int WriteDataAt = 6; // a write request's values, after its byte count
constexpr int ByteCountAt = 1;
constexpr int ReadDataAt = 2;
constexpr int ExceptionCodeAt = 1;

// An exception reply names the function it refuses with this bit set (section 7).
constexpr quint8 ExceptionFlag = 0x80;

enum FunctionCode : quint8 {
    ReadCoils = 1,
    ReadDiscreteInputs = 2,
    ReadHoldingRegisters = 3,
    ReadInputRegisters = 4,
    WriteMultipleCoils = 15,
    WriteMultipleRegisters = 16,
};

QByteArray readRequest(quint8 functionCode, quint8 startHigh, quint8 startLow, quint8 quantityHigh, quint8 quantityLow);
QByteArray writeRegistersRequest(quint16 start, const QList<quint16> &values);
QByteArray writeCoilsRequest(quint16 start, quint16 quantity, const QByteArray &packedBits);

} // namespace pdu
