#pragma once

#include "form_controls.h"
#include "form_state.h"
#include "reply_decoder.h"
#include "request_inputs.h"

class SocketControl;
class Ticker;
class WindowServices;

// The Modbus side of the window: the six senders, the reply handler and the reply
// timeout. It owns the window's private state and reaches the widgets, the socket, the
// timeout ticker and the message box only through small interfaces.
class ModbusExchange
{
public:
    ModbusExchange(FormControls &controls, SocketControl &socket, Ticker &timerTO, WindowServices &services);

    void ReadHolding();
    void ReadCoils();
    void ReadInputs();
    void ReadInputRegisters();
    void WriteHolding();
    void WriteCoils();

    // Takes what arrived and handles every whole reply in it, in order.
    void Winsock1_DataArrival(qint32 bytesTotal);
    // One tick of the reply timeout: a request's third tick without its reply reports it.
    void TimerTO_Timer();

    // A connection begins or ends: the requests of the one before are settled, so that none
    // of their replies or timeouts shows on the next, and the partial bytes of a reply go.
    // The requests of a new connection count their transaction ids from 0 and carry unitId.
    void startConnection(quint8 unitId);
    void endConnection();

    const FormState &state() const { return m_state; }
    // A request went out and has had no reply yet, and its timeout has not been reported.
    bool awaitingReply() const;
    // A request of this connection has had no reply, whether or not its timeout is reported.
    bool unanswered() const { return !m_state.awaited.isEmpty(); }
    // A refusal is on screen: its message box is open.
    bool refusalOpen() const { return m_refusalOpen; }

private:
    void read(quint8 functionCode, const QString &notConnectedText);
    void write(WriteBuilder build, const QString &notConnectedText);
    bool connected() const;
    void refuse(const QString &text);
    void send(QByteArray frame);
    void take(const QByteArray &reply);
    void dropBrokenStream();
    void apply(const SentRequest &request, const ReplyOutcome &outcome, const QByteArray &reply);
    void settleAll();
    // Drops timed-out requests that a newer request has made stale, and stops the timeout
    // when no request awaits its reply any more.
    void prune();

    FormControls &m_controls;
    SocketControl &m_socket;
    Ticker &m_timerTO;
    WindowServices &m_services;
    FormState m_state;
    bool m_refusalOpen = false;
};
