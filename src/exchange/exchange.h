#pragma once

#include "form_controls.h"
#include "form_state.h"
#include "reply_decoder.h"
#include "request_inputs.h"

class SocketControl;
class Ticker;
class WindowServices;

// The Modbus side of the window: the five senders, the reply handler and the reply
// timeout. It owns the window's private state and reaches the widgets, the socket, the
// timeout ticker and the message box only through small interfaces.
class ModbusExchange
{
public:
    ModbusExchange(FormControls &controls, SocketControl &socket, Ticker &timerTO, WindowServices &services);

    void ReadHolding();
    void ReadCoils();
    void ReadInputs();
    void WriteHolding();
    void WriteCoils();

    // Takes what arrived and handles every whole reply in it, in order.
    void Winsock1_DataArrival(qint32 bytesTotal);
    // One tick of the reply timeout: the third without an accepted reply reports it.
    void TimerTO_Timer();
    // Drops the bytes of a reply that never arrived whole, so they cannot glue onto a later one.
    void discardPartialReply();

    const FormState &state() const { return m_state; }
    // A request went out and has had no reply yet, and its timeout has not been reported.
    bool awaitingReply() const;
    // A refusal is on screen: its message box is open.
    bool refusalOpen() const { return m_refusalOpen; }

private:
    void read(quint8 functionCode, const QString &notConnectedText);
    void write(WriteBuilder build, const QString &notConnectedText);
    bool connected() const;
    void refuse(const QString &text);
    void send(const QByteArray &request, bool isRead, int quantity);
    void apply(const ReplyOutcome &outcome, const QByteArray &reply);
    Expectation expectation() const;

    FormControls &m_controls;
    SocketControl &m_socket;
    Ticker &m_timerTO;
    WindowServices &m_services;
    FormState m_state;
    bool m_refusalOpen = false;
    QByteArray m_lastRequest;
    double m_sentAt = 0;
};
