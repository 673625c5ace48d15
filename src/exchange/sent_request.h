#pragma once

#include "adu.h"
#include "bytes.h"
#include "tables.h"

#include <QByteArray>

// Who asked for a request: the operator (Read, Write, a table picked) or monitoring's tick.
enum class Asker { Operator, Monitoring };

// A device that has not answered a request within this time is reported as silent.
constexpr double ReplyTimeoutSeconds = 3.0;

// A request that went out and is not settled yet. Its frame is all it asked: the transaction
// id that ties the device's reply to it, the function code, the start address, the quantity
// and the values of a write. A reply is judged against the request it answers, and the values
// it brings are shown as the items that request named, whatever the controls say by then.
struct SentRequest {
    QByteArray frame;
    const TableInfo *table = nullptr; // the table it reads or writes
    double sentAt = 0;                // on the window's clock: the round trip, and the deadline of its reply
    Asker asker = Asker::Operator;
    quint64 moment = 0;    // when it went out, on the scale that orders the value boxes' contents
    bool timedOut = false; // its timeout is reported; a late reply to it may still show

    double deadline() const { return sentAt + ReplyTimeoutSeconds; }
    quint16 transactionId() const { return be16(frame, adu::TransactionIdAt); }
    quint8 functionCode() const { return quint8(frame[adu::FunctionAt]); }
    quint16 start() const { return be16(frame, adu::StartAt); }
    quint16 quantity() const { return be16(frame, adu::QuantityAt); }
    bool isRead() const { return functionCode() == table->readFunction; }
};
