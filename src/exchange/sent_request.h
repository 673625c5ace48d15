#pragma once

#include "adu.h"
#include "bytes.h"
#include "texts.h"

#include <QByteArray>

// A request that went out and is not settled yet. Its frame is all it asked: the transaction
// id that ties the device's reply to it, the function code, the start address, the quantity
// and the values of a write. A reply is judged against the request it answers, and the values
// it brings are shown as the items that request named, whatever the controls say by then.
struct SentRequest {
    QByteArray frame;
    double sentAt = 0;       // on the window's clock, for the round trip
    int ticks = 0;           // ticks of the reply timeout since it was sent
    bool timedOut = false;   // its timeout is reported; a late reply to it may still show
    bool superseded = false; // a newer read went out: its reply only ends its wait

    quint16 transactionId() const { return be16(frame, adu::TransactionIdAt); }
    quint8 functionCode() const { return quint8(frame[adu::FunctionAt]); }
    quint16 start() const { return be16(frame, adu::StartAt); }
    quint16 quantity() const { return be16(frame, adu::QuantityAt); }
    bool isRead() const { return functionCode() != adu::WriteMultipleCoils && functionCode() != adu::WriteMultipleRegisters; }
    // Each function code reads or writes one table.
    table::Kind table() const
    {
        switch (functionCode()) {
        case adu::ReadHoldingRegisters:
        case adu::WriteMultipleRegisters: return table::Kind::HoldingRegisters;
        case adu::ReadCoils:
        case adu::WriteMultipleCoils: return table::Kind::Coils;
        case adu::ReadDiscreteInputs: return table::Kind::DiscreteInputs;
        case adu::ReadInputRegisters: return table::Kind::InputRegisters;
        }
        return table::Kind::Unknown;
    }
};
