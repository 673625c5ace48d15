#include "exchange.h"

#include "adu.h"
#include "numeric_text.h"
#include "request_inputs.h"
#include "platform/socket_control.h"
#include "platform/ticker.h"
#include "platform/window_services.h"

#include <algorithm>

namespace {
constexpr qint64 DiscardChunk = 64 * 1024;
}

ModbusExchange::ModbusExchange(FormControls &controls, SocketControl &socket, Ticker &timerTO,
                               WindowServices &services)
    : m_controls(controls), m_socket(socket), m_timerTO(timerTO), m_services(services)
{
}

void ModbusExchange::ReadHolding() { read(adu::ReadHoldingRegisters, msg::NotConnectedBang); }
void ModbusExchange::ReadCoils() { read(adu::ReadCoils, msg::NotConnected); }
void ModbusExchange::ReadInputs() { read(adu::ReadDiscreteInputs, msg::NotConnected); }

bool ModbusExchange::connected() const { return m_socket.State() == SocketControl::Connected; }

bool ModbusExchange::awaitingReply() const { return m_timerTO.isRunning(); }

void ModbusExchange::refuse(const QString &text)
{
    m_controls.refusing();
    m_refusalOpen = true;
    m_services.MessageBox(text);
    m_refusalOpen = false;
}

void ModbusExchange::read(quint8 functionCode, const QString &notConnectedText)
{
    // The length limit comes before the connection: with neither, the length is what the
    // operator hears about. The same limit holds for registers and bits: 16 boxes.
    if (numeric::value(m_controls.lengthText()) > BoxCount) {
        refuse(msg::TooManyRegisters);
        return;
    }
    if (!connected()) {
        refuse(notConnectedText);
        return;
    }
    const BuiltRequest built = readRequestFrom(functionCode, m_controls.startText(), m_controls.lengthText());
    if (!built.ok()) {
        refuse(built.refusal);
        return;
    }
    std::copy(built.request.begin(), built.request.end(), m_state.bufSend.begin());
    send(built.request, true, built.quantity);
}

void ModbusExchange::WriteHolding() { write(writeRegistersFrom, msg::NotConnectedBang); }
void ModbusExchange::WriteCoils() { write(writeCoilsFrom, msg::NotConnected); }

void ModbusExchange::write(WriteBuilder build, const QString &notConnectedText)
{
    // The connection is checked before any text is read.
    if (!connected()) {
        refuse(notConnectedText);
        return;
    }
    const BuiltRequest built = build(m_controls.startText(), m_controls.lengthText(),
                                     [this](int k) { return m_controls.boxText(k); });
    if (!built.ok()) {
        refuse(built.refusal);
        return;
    }
    send(built.request, false, built.quantity);
}

void ModbusExchange::send(const QByteArray &request, bool isRead, int quantity)
{
    m_state.flagRead = isRead;
    m_state.flagWrite = !isRead;
    if (!isRead)
        m_state.writtenQuantity = quantity;
    m_lastRequest = request;
    m_sentAt = m_services.clockSeconds();
    m_socket.SendData(request);
    m_controls.requestSent(request);
    // The timeout counts from the oldest request still unanswered: a later send must not
    // push "Modbus Time Out!" away, or a device that fell silent would never be reported.
    if (!m_timerTO.isRunning()) {
        m_state.countTO = 0;
        m_timerTO.start();
    }
}

Expectation ModbusExchange::expectation() const
{
    return {m_state.flagRead, m_state.flagWrite, m_state.writtenQuantity};
}

void ModbusExchange::Winsock1_DataArrival(qint32)
{
    // Take at most what completes one reply at a time, so the buffer never holds more than
    // one reply whatever the device sends.
    for (;;) {
        const QByteArray chunk = m_socket.GetData(adu::MaxAduSize - m_state.bufRecv.size());
        if (chunk.isEmpty())
            return;
        m_state.bufRecv.append(chunk);
        for (;;) {
            const adu::Frame frame = adu::takeFrame(m_state.bufRecv);
            if (frame.status == adu::FrameStatus::NeedMore)
                break;
            if (frame.status == adu::FrameStatus::Malformed) {
                // Nothing after a header that cannot start a reply has a boundary we could
                // trust: drop it all, including what already waits in the socket.
                const ReplyOutcome outcome = malformedHeader(m_state.bufRecv, expectation());
                const QByteArray junk = m_state.bufRecv;
                m_state.bufRecv.clear();
                while (!m_socket.GetData(DiscardChunk).isEmpty()) {
                }
                apply(outcome, junk);
                return;
            }
            apply(decodeReply(frame.adu, expectation()), frame.adu);
        }
    }
}

void ModbusExchange::apply(const ReplyOutcome &outcome, const QByteArray &reply)
{
    if (outcome.kind == ReplyOutcome::Ignored)
        return;
    for (int k = 0; k < outcome.boxes.size(); ++k)
        m_controls.setBoxText(k, outcome.boxes[k]);
    m_controls.setStatus(statusFor(outcome));
    m_controls.replyTaken(m_lastRequest, reply, (m_services.clockSeconds() - m_sentAt) * 1000.0);
    // Every reply that is not ignored ends the wait, a write reply that does not match
    // included: the device has answered, and its answer is on screen.
    m_state.countTO = 0;
    m_timerTO.stop();
}

void ModbusExchange::TimerTO_Timer()
{
    ++m_state.countTO;
    if (m_state.countTO > 2) {
        m_state.countTO = 0;
        discardPartialReply();
        m_controls.setStatus(timeOutStatus());
        m_timerTO.stop();
    }
}

void ModbusExchange::discardPartialReply() { m_state.bufRecv.clear(); }
