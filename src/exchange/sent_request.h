#pragma once

#include "bytes.h"
#include "pdu.h"
#include "tables.h"

#include <QByteArray>
#include <optional>

// Who asked for a request: the operator (Read, Write, a table picked) or monitoring's tick.
enum class Asker { Operator, Monitoring };

// A device that has not answered a request within this time is reported as silent.
constexpr double ReplyTimeoutSeconds = 3.0;

// A request that is not settled yet: waiting in line for the device, or out and awaiting its
// reply. It keeps what was asked, the table, the function code and its data, the unit, and
// the transaction id where the framing carries one: a reply is judged against the request it
// answers, and the values it brings are shown as the items that request named, whatever the
// controls say by then.
struct SentRequest {
    QByteArray pdu;  // the function code, the start address, the quantity and a write's values
    QByteArray wire; // the frame as it goes on the wire
    quint8 unit = 0;
    std::optional<quint16> id;        // the transaction id, where the framing carries one
    const TableInfo *table = nullptr; // the table it reads or writes
    double sentAt = -1;               // on the window's clock: when it went out; -1 while in line
    Asker asker = Asker::Operator;
    quint64 moment = 0;    // when it was asked, on the scale that orders the value boxes' contents
    bool timedOut = false; // its timeout is reported; a late reply to it may still show

    double deadline() const { return sentAt + ReplyTimeoutSeconds; }
    quint8 functionCode() const { return quint8(pdu[pdu::FunctionAt]); }
    quint16 start() const { return be16(pdu, pdu::StartAt); }
    quint16 quantity() const { return be16(pdu, pdu::QuantityAt); }
    bool isRead() const { return functionCode() == table->readFunction; }
};
