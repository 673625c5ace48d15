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
// The unit a request goes to unless the operator names another: a device that is not behind
// a gateway answers any unit, and 1 is what most of them are set to.
constexpr quint8 DefaultUnitId = 1;

// Where the fields stand in a whole ADU. Requests and write replies carry the start address
// and the quantity at the same places.
constexpr int TransactionIdAt = 0;
constexpr int UnitIdAt = 6;
constexpr int FunctionAt = 7;
constexpr int StartAt = 8;
constexpr int QuantityAt = 10;
constexpr int WriteDataAt = 13; // a write request's values, after its byte count

enum FunctionCode : quint8 {
    ReadCoils = 1,
    ReadDiscreteInputs = 2,
    ReadHoldingRegisters = 3,
    ReadInputRegisters = 4,
    WriteMultipleCoils = 15,
    WriteMultipleRegisters = 16,
};

// Requests are built with transaction id 0 for unit 1; setIds gives a request the ids it goes
// out with.
QByteArray readRequest(quint8 functionCode, quint8 startHigh, quint8 startLow, quint8 quantityHigh, quint8 quantityLow);
QByteArray writeRegistersRequest(quint16 start, const QList<quint16> &values);
QByteArray writeCoilsRequest(quint16 start, quint16 quantity, const QByteArray &packedBits);

// The device copies the transaction id into its reply, which is how a reply is tied to its
// request; the unit id picks the device behind a gateway.
void setIds(QByteArray &request, quint16 transactionId, quint8 unitId);

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
