#include "exchange.h"

#include "adu.h"
#include "bytes.h"
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
void ModbusExchange::ReadInputRegisters() { read(adu::ReadInputRegisters, msg::NotConnected); }

bool ModbusExchange::connected() const { return m_socket.State() == SocketControl::Connected; }

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
    send(built.request);
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
    send(built.request);
}

void ModbusExchange::send(QByteArray frame)
{
    adu::setIds(frame, m_state.nextTransactionId++, m_state.unitId);
    SentRequest request;
    request.frame = frame;
    request.sentAt = m_services.clockSeconds();
    // A read supersedes the reads before it: their values answer what the operator no longer
    // asks. Their waits go on, so that a device that answers nothing is still reported.
    if (request.isRead()) {
        for (SentRequest &r : m_state.awaited)
            r.superseded = r.superseded || r.isRead();
    }
    m_state.awaited.append(request);
    prune();
    m_socket.SendData(request.frame);
    m_controls.requestSent(request);
    // The timeout counts from the oldest request still unanswered: a later send must not
    // push "Modbus Time Out!" away, or a device that fell silent would never be reported.
    if (!m_timerTO.isRunning())
        m_timerTO.start();
}

bool ModbusExchange::awaitingReply() const
{
    return std::any_of(m_state.awaited.cbegin(), m_state.awaited.cend(),
                       [](const SentRequest &r) { return !r.timedOut; });
}

void ModbusExchange::prune()
{
    // A late reply shows only for the latest request: once another has gone out, the
    // operator is waiting for that one.
    const quint16 latest = quint16(m_state.nextTransactionId - 1);
    m_state.awaited.removeIf([latest](const SentRequest &r) {
        return r.timedOut && (r.superseded || r.transactionId() != latest);
    });
    if (!awaitingReply())
        m_timerTO.stop();
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
                dropBrokenStream();
                return;
            }
            take(frame.adu);
        }
    }
}

void ModbusExchange::take(const QByteArray &reply)
{
    // The device copies the transaction id of the request into its reply. A reply that
    // answers no awaited request (a stale id, or another client's) changes nothing.
    const quint16 id = be16(reply, adu::TransactionIdAt);
    const auto it = std::find_if(m_state.awaited.cbegin(), m_state.awaited.cend(),
                                 [id](const SentRequest &r) { return r.transactionId() == id; });
    if (it == m_state.awaited.cend())
        return;
    const SentRequest request = *it;
    m_state.awaited.erase(it);
    prune();
    if (!request.superseded)
        apply(request, decodeReply(reply, request), reply);
}

void ModbusExchange::dropBrokenStream()
{
    // Nothing after a header that cannot start a reply has a boundary we could trust: drop it
    // all, including what already waits in the socket. No awaited reply can be found in it
    // any more, so every request is settled, and the junk is the answer the operator sees.
    const QByteArray junk = m_state.bufRecv;
    while (!m_socket.GetData(DiscardChunk).isEmpty()) {
    }
    const QList<SentRequest> settled = m_state.awaited;
    settleAll();
    const auto shown = [](const SentRequest &r) { return !r.superseded; };
    const auto latest = std::find_if(settled.crbegin(), settled.crend(), shown);
    if (latest == settled.crend())
        return;
    const bool readShown = std::any_of(settled.cbegin(), settled.cend(),
                                       [&shown](const SentRequest &r) { return shown(r) && r.isRead(); });
    apply(*latest, malformedStream(junk, readShown), junk);
}

void ModbusExchange::apply(const SentRequest &request, const ReplyOutcome &outcome, const QByteArray &reply)
{
    for (int k = 0; k < outcome.boxes.size(); ++k) {
        const QString &text = outcome.boxes[k];
        m_controls.setBoxText(k, text, text.isEmpty() ? BoxSource{} : BoxSource{request.table(), request.start() + k});
    }
    m_controls.setStatus(statusFor(outcome));
    m_controls.replyTaken(request, outcome, reply, (m_services.clockSeconds() - request.sentAt) * 1000.0);
}

void ModbusExchange::TimerTO_Timer()
{
    // Each request counts its own ticks: a reply ends only the wait of the request it answers.
    bool timedOut = false;
    for (SentRequest &r : m_state.awaited) {
        if (!r.timedOut && ++r.ticks > 2) {
            r.timedOut = true;
            timedOut = true;
        }
    }
    if (timedOut)
        m_controls.setStatus(timeOutStatus());
    prune();
}

void ModbusExchange::startConnection(quint8 unitId)
{
    settleAll();
    m_state.nextTransactionId = 0;
    m_state.unitId = unitId;
}

void ModbusExchange::endConnection() { settleAll(); }

void ModbusExchange::settleAll()
{
    m_state.awaited.clear();
    m_state.bufRecv.clear();
    m_timerTO.stop();
}
