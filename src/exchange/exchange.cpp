#include "exchange.h"

#include "adu.h"
#include "bytes.h"
#include "numeric_text.h"
#include "request_inputs.h"
#include "platform/alarm.h"
#include "platform/socket_control.h"
#include "platform/window_services.h"

#include <algorithm>
#include <cmath>

namespace {
// What a broken stream left in the socket is read off and dropped in pieces of this size.
constexpr qint64 DiscardChunk = qint64{64} * 1024;
} // namespace

ModbusExchange::ModbusExchange(FormControls &controls, SocketControl &socket, Alarm &timerTO, WindowServices &services)
    : m_controls(controls), m_socket(socket), m_timerTO(timerTO), m_services(services)
{
}

void ModbusExchange::ReadHolding(Asker asker) { read(adu::ReadHoldingRegisters, msg::NotConnectedBang, asker); }
void ModbusExchange::ReadCoils(Asker asker) { read(adu::ReadCoils, msg::NotConnected, asker); }
void ModbusExchange::ReadInputs(Asker asker) { read(adu::ReadDiscreteInputs, msg::NotConnected, asker); }
void ModbusExchange::ReadInputRegisters(Asker asker) { read(adu::ReadInputRegisters, msg::NotConnected, asker); }

bool ModbusExchange::connected() const { return m_socket.State() == SocketControl::Connected; }

void ModbusExchange::refuse(const QString &text, Asker asker)
{
    m_controls.refusing(asker);
    m_refusalOpen = true;
    m_services.MessageBox(text);
    m_refusalOpen = false;
}

void ModbusExchange::read(quint8 functionCode, const QString &notConnectedText, Asker asker)
{
    // The length limit comes before the connection: with neither, the length is what the
    // operator hears about. The same limit holds for registers and bits: 16 boxes.
    if (numeric::value(m_controls.lengthText()) > BoxCount) {
        refuse(msg::TooManyRegisters, asker);
        return;
    }
    if (!connected()) {
        refuse(notConnectedText, asker);
        return;
    }
    const BuiltRequest built = readRequestFrom(functionCode, m_controls.startText(), m_controls.lengthText());
    if (!built.ok()) {
        refuse(built.refusal, asker);
        return;
    }
    send(built.request, asker);
}

void ModbusExchange::WriteHolding() { write(writeRegistersFrom, msg::NotConnectedBang); }
void ModbusExchange::WriteCoils() { write(writeCoilsFrom, msg::NotConnected); }

void ModbusExchange::write(WriteBuilder build, const QString &notConnectedText)
{
    // The connection is checked before any text is read.
    if (!connected()) {
        refuse(notConnectedText, Asker::Operator);
        return;
    }
    const BuiltRequest built = build(m_controls.startText(), m_controls.lengthText(),
                                     [this](int k) { return m_controls.boxText(k); });
    if (!built.ok()) {
        refuse(built.refusal, Asker::Operator);
        return;
    }
    send(built.request, Asker::Operator);
}

void ModbusExchange::send(QByteArray frame, Asker asker)
{
    adu::setIds(frame, m_state.nextTransactionId++, m_state.unitId);
    SentRequest request;
    request.frame = frame;
    request.sentAt = m_services.clockSeconds();
    request.asker = asker;
    request.moment = ++m_state.moments;
    // A read supersedes the reads before it: their values answer what the operator no longer
    // asks. Their waits go on, so that a device that answers nothing is still reported.
    if (request.isRead()) {
        for (SentRequest &r : m_state.awaited)
            r.superseded = r.superseded || r.isRead();
    }
    // A late reply shows only for the latest request: once another has gone out, the
    // operator is waiting for that one.
    m_state.awaited.removeIf([](const SentRequest &r) { return r.timedOut; });
    m_state.awaited.append(request);
    m_socket.SendData(request.frame);
    if (request.isRead() && request.asker == Asker::Operator)
        clearTypedMarks();
    m_controls.requestSent(request);
    // Its deadline is the latest of all: a running alarm is already set for an earlier one.
    if (!m_timerTO.isRunning())
        armTimeout();
}

bool ModbusExchange::awaitingReply() const
{
    return std::any_of(m_state.awaited.cbegin(), m_state.awaited.cend(),
                       [](const SentRequest &r) { return !r.timedOut; });
}

void ModbusExchange::armTimeout()
{
    // The requests are in the order sent, so the first still waiting has the earliest deadline.
    const auto first = std::find_if(m_state.awaited.cbegin(), m_state.awaited.cend(),
                                    [](const SentRequest &r) { return !r.timedOut; });
    if (first == m_state.awaited.cend()) {
        m_timerTO.stop();
        return;
    }
    const double left = first->deadline() - m_services.clockSeconds();
    m_timerTO.start(int(std::ceil(std::max(0.0, left) * 1000)));
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
    const SentRequest request = m_state.awaited.takeAt(it - m_state.awaited.cbegin());
    // An answered read settles the reads sent before it: their replies could only bring older
    // values, and their timeouts would call silent a device that has answered. A write is
    // settled by nothing but its own reply or deadline.
    if (request.isRead()) {
        m_state.awaited.removeIf([&request](const SentRequest &r) { return r.isRead() && r.moment < request.moment; });
    }
    armTimeout();
    if (!request.superseded)
        apply(request, decodeReply(reply, request), reply);
}

void ModbusExchange::dropBrokenStream()
{
    // Nothing after a header that cannot start a reply has a boundary we could trust: drop it
    // all, including what already waits in the socket. No read's reply can be found in it any
    // more, so the reads are settled and the junk is the answer to the latest; the boxes it
    // would have filled are emptied. A write's confirmation may still come after the junk:
    // writes keep waiting, and the junk is reported against the latest when no read waited.
    const QByteArray junk = m_state.bufRecv;
    m_state.bufRecv.clear();
    while (!m_socket.GetData(DiscardChunk).isEmpty()) {
    }
    const auto &awaited = m_state.awaited;
    auto latest = std::find_if(awaited.crbegin(), awaited.crend(),
                               [](const SentRequest &r) { return r.isRead() && !r.superseded; });
    if (latest == awaited.crend())
        latest = std::find_if(awaited.crbegin(), awaited.crend(), [](const SentRequest &r) { return !r.isRead(); });
    if (latest == awaited.crend())
        return;
    const SentRequest reported = *latest;
    m_state.awaited.removeIf([](const SentRequest &r) { return r.isRead(); });
    armTimeout();
    apply(reported, malformedStream(junk, reported.isRead()), junk);
}

void ModbusExchange::apply(const SentRequest &request, const ReplyOutcome &outcome, const QByteArray &reply)
{
    showOutcome(request, outcome);
    m_controls.setStatus(statusFor(outcome));
    m_controls.replyTaken(request, outcome, reply, (m_services.clockSeconds() - request.sentAt) * 1000.0);
}

void ModbusExchange::TimerTO_Timer()
{
    // Each request has its own deadline, whatever went out before or after it.
    const double now = m_services.clockSeconds();
    bool timedOut = false;
    for (SentRequest &r : m_state.awaited) {
        if (!r.timedOut && r.deadline() <= now) {
            r.timedOut = true;
            timedOut = true;
        }
    }
    m_state.awaited.removeIf([this](const SentRequest &r) { return r.timedOut && !m_state.isLatest(r); });
    if (timedOut)
        m_controls.setStatus(timeOutStatus());
    armTimeout();
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
