#pragma once

#include "form_controls.h"
#include "form_state.h"
#include "reply_decoder.h"
#include "request_inputs.h"

class Alarm;
class SocketControl;
class WindowServices;

// The Modbus side of the window: the senders, the reply handler, the reply timeout and
// what the value boxes hold. It owns the window's private state and reaches the widgets, the
// socket, the timeout's alarm and the message box only through small interfaces.
class ModbusExchange
{
public:
    // On a line without transaction ids, the most requests that may wait for the device, the
    // one in flight included; an operator's request beyond them is refused.
    static constexpr int MaxInLine = 4;
    // After a timeout on such a line, the silence that says the device's late reply, if any,
    // is over; until then nothing more goes out.
    static constexpr double QuietSeconds = 1.0;

    ModbusExchange(FormControls &controls, SocketControl &socket, Alarm &timerTO, WindowServices &services);

    // Reads a table for the operator (Read, a table picked) or for monitoring's tick.
    void read(const TableInfo &table, Asker asker);
    // Writes the first Length value boxes to a table; nothing for the read-only tables.
    void write(const TableInfo &table);
    void ReadHolding(Asker asker = Asker::Operator) { read(table::HoldingRegisters, asker); }
    void ReadCoils(Asker asker = Asker::Operator) { read(table::CoilOutputs, asker); }
    void ReadInputs(Asker asker = Asker::Operator) { read(table::DigitalInputs, asker); }
    void ReadInputRegisters(Asker asker = Asker::Operator) { read(table::InputRegisters, asker); }
    void WriteHolding() { write(table::HoldingRegisters); }
    void WriteCoils() { write(table::CoilOutputs); }
    // The operator did something the status line should answer next (monitoring switched on
    // or off): a write's outcome it holds no longer stands in the way of monitoring's.
    void operatorActed() { m_state.writeOutcomeShown = false; }

    // Takes what arrived and handles every whole reply in it, in order.
    void Winsock1_DataArrival(qint32 bytesTotal);
    // The reply timeout's alarm: every request whose wait has run out is reported.
    void TimerTO_Timer();
    // The operator edited value box index.
    void boxTyped(int index);

    // A connection begins or ends: the requests of the one before are settled, so that none
    // of their replies or timeouts shows on the next, and the partial bytes of a reply go.
    // The requests of a new connection travel in its framing, count their transaction ids
    // from 0 and carry unitId; device is the address box's text, which names where the values
    // came from.
    void startConnection(const QString &device, const framing::Framing &framing, quint8 unitId);
    void endConnection();

    const FormState &state() const { return m_state; }
    // A request waits in line, or went out and has had no reply yet, and its timeout has not
    // been reported.
    bool awaitingReply() const { return !m_state.inLine.isEmpty() || inFlight(); }
    // A request of this connection has had no reply, whether or not its timeout is reported.
    bool unanswered() const { return !m_state.awaited.isEmpty() || !m_state.inLine.isEmpty(); }
    // A refusal is on screen: its message box is open.
    bool refusalOpen() const { return m_refusalOpen; }

private:
    bool connected() const;
    void refuse(const QString &text, Asker asker);
    void send(const TableInfo &table, const QByteArray &pdu, Asker asker);
    // A request is on the wire and its timeout has not been reported.
    bool inFlight() const;
    // After a timeout or junk on a line without ids, the device has sent something within the
    // last QuietSeconds: nothing may go out yet.
    bool settling() const;
    // Puts on the wire what waits in line, as far as the line takes it now.
    void sendWaiting();
    void putOnWire(SentRequest request);

    // reply_stream.cpp: replies cut out of the byte stream and matched to their requests.
    void take(const framing::Framed &reply);
    void dropBrokenStream(const QString &why);
    void apply(const SentRequest &request, const ReplyOutcome &outcome, const QByteArray &reply);
    void showStatus(const StatusLine &status, const QByteArray &request, const QByteArray &reply, double roundTripMs);
    void settleAll();
    // Arms the alarm for the earliest deadline still ahead, or for the end of the line's quiet
    // time when a request waits for it, or stops it when there is neither.
    void armTimeout();

    // box_updates.cpp: what a request and its outcome do to the value boxes.
    void showOutcome(const SentRequest &request, const ReplyOutcome &outcome);
    void showBox(int index, const QString &text, const BoxSource &source, quint64 since);

    FormControls &m_controls;
    SocketControl &m_socket;
    Alarm &m_timerTO;
    WindowServices &m_services;
    FormState m_state;
    bool m_refusalOpen = false;
};
