// The device's bytes: cut into frames by the connection's framing, each whole reply matched
// to the request it answers and judged against it, and a stream that cannot be read any more
// dropped.

#include "exchange.h"

#include "platform/socket_control.h"
#include "platform/window_services.h"

#include <algorithm>

namespace {
// What a broken stream left in the socket is read off and dropped in pieces of this size.
constexpr qint64 DiscardChunk = qint64{64} * 1024;
} // namespace

void ModbusExchange::Winsock1_DataArrival(qint32)
{
    const framing::Framing &framing = *m_state.framing;
    // Take at most what completes one reply at a time, so the buffer never holds more than
    // one reply whatever the device sends.
    for (;;) {
        const QByteArray chunk = m_socket.GetData(framing.maxFrame - m_state.bufRecv.size());
        if (chunk.isEmpty())
            return;
        // The line is not quiet while the device still sends.
        if (m_state.quietUntil >= 0) {
            m_state.quietUntil = m_services.clockSeconds() + QuietSeconds;
            armTimeout();
        }
        m_state.bufRecv.append(chunk);
        for (;;) {
            const framing::Framed frame = framing.take(m_state.bufRecv);
            if (frame.status == framing::Status::NeedMore)
                break;
            if (frame.status == framing::Status::Malformed) {
                dropBrokenStream(frame.why);
                return;
            }
            take(frame);
        }
    }
}

void ModbusExchange::take(const framing::Framed &reply)
{
    // With transaction ids the device copies the request's into its reply; without them the
    // reply answers the request on the wire, if it comes from that request's unit. A reply
    // that answers no awaited request (a stale id, another client's, another unit's on a
    // shared line) changes nothing.
    const auto &awaited = m_state.awaited;
    auto it = awaited.cend();
    if (reply.id)
        it = std::find_if(awaited.cbegin(), awaited.cend(),
                          [&reply](const SentRequest &r) { return r.id == reply.id; });
    else if (!awaited.isEmpty() && awaited.last().unit == reply.unit)
        it = awaited.cend() - 1;
    if (it == awaited.cend())
        return;
    const SentRequest request = m_state.awaited.takeAt(it - awaited.cbegin());
    // A newer read replaces this one: its values answer what the operator no longer asks, and
    // its reply only ends its wait.
    const bool superseded = request.isRead()
                         && std::any_of(awaited.cbegin(), awaited.cend(), [&request](const SentRequest &r) {
                                return r.isRead() && r.moment > request.moment;
                            });
    // An answered read settles the reads sent before it: their replies could only bring older
    // values, and their timeouts would call silent a device that has answered. A write is
    // settled by nothing but its own reply or deadline.
    if (request.isRead()) {
        m_state.awaited.removeIf([&request](const SentRequest &r) { return r.isRead() && r.moment < request.moment; });
    }
    // The late reply the line waited for has come: it may take the next request now.
    m_state.quietUntil = -1;
    if (!superseded)
        apply(request, decodeReply(reply.pdu, request), reply.wire);
    sendWaiting();
}

void ModbusExchange::dropBrokenStream(const QString &why)
{
    // Nothing after bytes that cannot start a reply has a boundary we could trust: drop it
    // all, including what already waits in the socket.
    const QByteArray junk = m_state.bufRecv;
    m_state.bufRecv.clear();
    while (!m_socket.GetData(DiscardChunk).isEmpty()) {
    }
    const auto &awaited = m_state.awaited;
    if (!m_state.framing->carriesIds) {
        // One request on the wire at a time: the junk is its answer, whatever it asked, and
        // the line settles before the next goes out, in case more of the junk is on its way.
        // After a timeout, until the next request goes out, the junk answers nothing.
        const bool afterTimeout = m_state.quietUntil >= 0;
        m_state.quietUntil = m_services.clockSeconds() + QuietSeconds;
        if (!afterTimeout && !awaited.isEmpty()) {
            const SentRequest reported = m_state.awaited.takeLast();
            apply(reported, malformedReply(why, reported.isRead()), junk);
        }
        armTimeout();
        return;
    }
    // No read's reply can be found in it any more, so the reads are settled and the junk is
    // the answer to the latest; the boxes it would have filled are emptied. A write's
    // confirmation may still come after the junk: writes keep waiting, and the junk is
    // reported against the latest when no read waited.
    auto latest = std::find_if(awaited.crbegin(), awaited.crend(), [](const SentRequest &r) { return r.isRead(); });
    if (latest == awaited.crend())
        latest = std::find_if(awaited.crbegin(), awaited.crend(), [](const SentRequest &r) { return !r.isRead(); });
    if (latest == awaited.crend())
        return;
    const SentRequest reported = *latest;
    m_state.awaited.removeIf([](const SentRequest &r) { return r.isRead(); });
    armTimeout();
    apply(reported, malformedReply(why, reported.isRead()), junk);
}
