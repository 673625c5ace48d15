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
#include <optional>

namespace {
// What a broken stream left in the socket is read off and dropped in pieces of this size.
constexpr qint64 DiscardChunk = qint64{64} * 1024;
} // namespace

ModbusExchange::ModbusExchange(FormControls &controls, SocketControl &socket, Alarm &timerTO, WindowServices &services)
    : m_controls(controls), m_socket(socket), m_timerTO(timerTO), m_services(services)
{
}

bool ModbusExchange::connected() const { return m_socket.State() == SocketControl::Connected; }

void ModbusExchange::refuse(const QString &text, Asker asker)
{
    m_controls.refusing(asker);
    m_refusalOpen = true;
    m_services.MessageBox(text);
    m_refusalOpen = false;
}

void ModbusExchange::read(const TableInfo &table, Asker asker)
{
    if (asker == Asker::Operator)
        operatorActed();
    // The length limit comes before the connection: with neither, the length is what the
    // operator hears about. The same limit holds for registers and bits: 16 boxes.
    if (numeric::value(m_controls.lengthText()) > BoxCount) {
        refuse(msg::TooManyRegisters, asker);
        return;
    }
    if (!connected()) {
        refuse(table.notConnected, asker);
        return;
    }
    const BuiltRequest built = readRequestFrom(table.readFunction, m_controls.startText(), m_controls.lengthText());
    if (!built.ok()) {
        refuse(built.refusal, asker);
        return;
    }
    send(table, built.request, asker);
}

void ModbusExchange::write(const TableInfo &table)
{
    // Discrete inputs and input registers are read-only in Modbus: there is nothing to write.
    if (!table.writable())
        return;
    operatorActed();
    // The connection is checked before any text is read.
    if (!connected()) {
        refuse(table.notConnected, Asker::Operator);
        return;
    }
    const WriteBuilder build = table.registers ? writeRegistersFrom : writeCoilsFrom;
    const BuiltRequest built = build(m_controls.startText(), m_controls.lengthText(),
                                     [this](int k) { return m_controls.boxText(k); });
    if (!built.ok()) {
        refuse(built.refusal, Asker::Operator);
        return;
    }
    send(table, built.request, Asker::Operator);
}

void ModbusExchange::send(const TableInfo &table, QByteArray frame, Asker asker)
{
    adu::setIds(frame, m_state.nextTransactionId++, m_state.unitId);
    SentRequest request;
    request.frame = frame;
    request.table = &table;
    request.sentAt = m_services.clockSeconds();
    request.asker = asker;
    request.moment = ++m_state.moments;
    // A late reply shows only for the latest request: once another has gone out, the
    // operator is waiting for that one.
    m_state.awaited.removeIf([](const SentRequest &r) { return r.timedOut; });
    m_state.awaited.append(request);
    m_socket.SendData(request.frame);
    // While a write's outcome stands, the frames beneath it stay the write's.
    if (!m_state.writeOutcomeShown)
        m_controls.showFrames(request.frame, {}, -1);
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
    // A newer read replaces this one: its values answer what the operator no longer asks, and
    // its reply only ends its wait.
    const bool superseded = request.isRead()
                         && std::any_of(m_state.awaited.cbegin(), m_state.awaited.cend(),
                                        [&request](const SentRequest &r) {
                                            return r.isRead() && r.moment > request.moment;
                                        });
    // An answered read settles the reads sent before it: their replies could only bring older
    // values, and their timeouts would call silent a device that has answered. A write is
    // settled by nothing but its own reply or deadline.
    if (request.isRead()) {
        m_state.awaited.removeIf([&request](const SentRequest &r) { return r.isRead() && r.moment < request.moment; });
    }
    armTimeout();
    if (!superseded)
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
    auto latest = std::find_if(awaited.crbegin(), awaited.crend(), [](const SentRequest &r) { return r.isRead(); });
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
    // Monitoring's routine success leaves the outcome of the operator's write in view: the
    // boxes refresh, and the write's outcome stays until something else needs telling.
    const bool routine = request.asker == Asker::Monitoring && outcome.kind == ReplyOutcome::RegistersRead;
    if (!(routine && m_state.writeOutcomeShown))
        showStatus(statusFor(outcome), request.frame, reply, (m_services.clockSeconds() - request.sentAt) * 1000.0);
    if (!request.isRead())
        m_state.writeOutcomeShown = true;
    m_controls.replyTaken(request, reply);
}

void ModbusExchange::showStatus(const StatusLine &status, const QByteArray &request, const QByteArray &reply,
                                double roundTripMs)
{
    m_state.writeOutcomeShown = false;
    m_controls.setStatus(status);
    m_controls.showFrames(request, reply, roundTripMs);
}

void ModbusExchange::TimerTO_Timer()
{
    // Each request has its own deadline, whatever went out before or after it.
    const double now = m_services.clockSeconds();
    std::optional<SentRequest> last; // the latest request whose wait ran out now
    for (SentRequest &r : m_state.awaited) {
        if (!r.timedOut && r.deadline() <= now) {
            r.timedOut = true;
            last = r;
        }
    }
    if (last) {
        // The frames beneath the timeout are the request it is about, with no reply. A write's
        // timeout is its outcome, which stays in view as a confirmation would.
        showStatus(timeOutStatus(), last->frame, {}, -1);
        m_state.writeOutcomeShown = !last->isRead();
    }
    m_state.awaited.removeIf([this](const SentRequest &r) { return r.timedOut && !m_state.isLatest(r); });
    armTimeout();
}

void ModbusExchange::startConnection(const QString &device, quint8 unitId)
{
    settleAll();
    m_state.nextTransactionId = 0;
    m_state.unitId = unitId;
    m_state.device = device;
    ++m_state.connection;
}

void ModbusExchange::endConnection() { settleAll(); }

void ModbusExchange::settleAll()
{
    m_state.writeOutcomeShown = false;
    m_state.awaited.clear();
    m_state.bufRecv.clear();
    m_timerTO.stop();
}
