#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

// The envelope a request and its reply travel in over the TCP connection. The exchange deals
// in the function code and its data (the PDU) and the unit; a framing alone knows how they go
// on the wire and how replies are cut out of a byte stream that may split or join them.
namespace framing {

enum class Status { NeedMore, Complete, Malformed };

struct Framed {
    Status status = Status::NeedMore;
    quint8 unit = 0;
    std::optional<quint16> id; // the transaction id, where the framing carries one
    QByteArray pdu;            // Complete: the function code and its data
    QByteArray wire;           // Complete: the whole frame as received (MBAP header or CRC included)
    QString why;               // Malformed: what is wrong, shown as "Malformed reply: " + why
};

struct Framing {
    QByteArray (*wrap)(const QByteArray &pdu, quint8 unit, quint16 id); // a request for the wire
    Framed (*take)(QByteArray &pending); // Complete removes the frame from pending; NeedMore and Malformed leave it
    bool carriesIds;                     // false: replies are matched by order, one request in flight at a time
    int maxFrame;                        // the most bytes pending ever needs to hold to decide
};

// Modbus TCP (Modbus Messaging on TCP/IP Implementation Guide, section 3.1): a 7-byte MBAP
// header (transaction id, protocol id 0, length of what follows, unit id) before the PDU.
// Malformed when the header cannot start a reply: a protocol id other than 0, judged as soon
// as its 4 bytes are in, or a length field outside 2..254; nothing after it can be trusted.
extern const Framing ModbusTcp;

// Modbus RTU frames carried over TCP as they are on the serial line, by a serial-to-Ethernet
// converter in transparent mode (Modbus over Serial Line, section 2.5.1): the unit id, the
// PDU, then the CRC low byte first. No length field and no transaction id: a reply's length
// follows from its function code, and replies come back in the order of the requests.
// Bytes that form a whole Modbus TCP reply are Malformed with a text that says so, since an
// address that asks for RTU framing of a Modbus TCP device is an easy mistake to make.
extern const Framing ModbusRtu;

// The CRC of Modbus over Serial Line, sections 2.5.1.2 and 6.2.2: reflected polynomial 0xA001, initial
// value 0xFFFF. It goes on the wire low byte first.
quint16 crc16(QByteArrayView bytes);

} // namespace framing
