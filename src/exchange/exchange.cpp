#include "exchange.h"

#include "numeric_text.h"
#include "request_inputs.h"
#include "platform/alarm.h"
#include "platform/socket_control.h"
#include "platform/window_services.h"

#include <algorithm>
#include <cmath>
#include <optional>

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

void ModbusExchange::send(const TableInfo &table, const QByteArray &pdu, Asker asker)
{
    const framing::Framing &framing = *m_state.framing;
    // A line that carries one request at a time holds only a few more: beyond them the device
    // is not keeping up, and the operator hears so rather than a request dropped unseen.
    if (!framing.carriesIds && m_state.inLine.size() + (inFlight() ? 1 : 0) >= MaxInLine) {
        refuse(msg::LineFull, asker);
        return;
    }
    SentRequest request;
    request.pdu = pdu;
    request.table = &table;
    request.unit = m_state.unitId;
    request.asker = asker;
    request.moment = ++m_state.moments;
    if (framing.carriesIds)
        request.id = m_state.nextTransactionId++;
    request.wire = framing.wrap(pdu, request.unit, request.id.value_or(0));
    m_state.inLine.append(request);
    sendWaiting();
}

bool ModbusExchange::inFlight() const
{
    return std::any_of(m_state.awaited.cbegin(), m_state.awaited.cend(),
                       [](const SentRequest &r) { return !r.timedOut; });
}

void ModbusExchange::sendWaiting()
{
    // With transaction ids every request goes out at once and its reply finds it by its id.
    // Without them a reply can only be told by its order, as on a serial line: one request
    // in flight, and none while the line settles after a timeout.
    while (!m_state.inLine.isEmpty() && (m_state.framing->carriesIds || (!inFlight() && !settling())))
        putOnWire(m_state.inLine.takeFirst());
    // Whatever went out or still waits, the alarm follows: the earliest deadline on the wire,
    // or the end of the quiet time that a request in line waits for.
    armTimeout();
}

bool ModbusExchange::settling() const
{
    return m_state.quietUntil >= 0 && m_services.clockSeconds() < m_state.quietUntil;
}

void ModbusExchange::putOnWire(SentRequest request)
{
    request.sentAt = m_services.clockSeconds();
    // A late reply shows only for the latest request: once another has gone out, the
    // operator is waiting for that one.
    m_state.awaited.removeIf([](const SentRequest &r) { return r.timedOut; });
    m_state.awaited.append(request);
    m_state.latestSent = request.moment;
    m_state.quietUntil = -1; // the line has settled, or never needed to
    m_socket.SendData(request.wire);
    // While a write's outcome stands, the frames beneath it stay the write's.
    if (!m_state.writeOutcomeShown)
        m_controls.showFrames(request.wire, {}, -1);
}

void ModbusExchange::armTimeout()
{
    // The requests are in the order sent, so the first still waiting has the earliest deadline.
    const auto first = std::find_if(m_state.awaited.cbegin(), m_state.awaited.cend(),
                                    [](const SentRequest &r) { return !r.timedOut; });
    std::optional<double> due;
    if (first != m_state.awaited.cend())
        due = first->deadline();
    else if (!m_state.inLine.isEmpty() && settling())
        due = m_state.quietUntil; // the next in line goes out when the line has settled
    if (!due) {
        m_timerTO.stop();
        return;
    }
    const double left = *due - m_services.clockSeconds();
    m_timerTO.start(int(std::ceil(std::max(0.0, left) * 1000)));
}

void ModbusExchange::apply(const SentRequest &request, const ReplyOutcome &outcome, const QByteArray &reply)
{
    showOutcome(request, outcome);
    // Monitoring's routine success leaves the outcome of the operator's write in view: the
    // boxes refresh, and the write's outcome stays until something else needs telling.
    const bool routine = request.asker == Asker::Monitoring && outcome.kind == ReplyOutcome::RegistersRead;
    if (!(routine && m_state.writeOutcomeShown))
        showStatus(statusFor(outcome), request.wire, reply, (m_services.clockSeconds() - request.sentAt) * 1000.0);
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
        showStatus(timeOutStatus(), last->wire, {}, -1);
        m_state.writeOutcomeShown = !last->isRead();
        // Without transaction ids a reply still on its way would pass for the next request's:
        // the line must fall quiet first.
        if (!m_state.framing->carriesIds)
            m_state.quietUntil = now + QuietSeconds;
    }
    m_state.awaited.removeIf([this](const SentRequest &r) { return r.timedOut && !m_state.isLatest(r); });
    sendWaiting();
}

void ModbusExchange::startConnection(const QString &device, const framing::Framing &framing, quint8 unitId)
{
    settleAll();
    m_state.framing = &framing;
    m_state.nextTransactionId = 0;
    m_state.unitId = unitId;
    m_state.device = device;
    ++m_state.connection;
}

void ModbusExchange::endConnection() { settleAll(); }

void ModbusExchange::settleAll()
{
    m_state.writeOutcomeShown = false;
    m_state.inLine.clear();
    m_state.awaited.clear();
    m_state.bufRecv.clear();
    m_state.quietUntil = -1;
    m_timerTO.stop();
}
