#pragma once

#include "exchange_fakes.h"
#include "exception_text.h"
#include "fake_services.h"
#include "test_bytes.h"

#include "exchange/bytes.h"
#include "exchange/exchange.h"

#include <QtTest>

// The exchange wired to fakes, driven one call at a time: send a request, feed the device's
// bytes in any pieces, move the clock on to a deadline.

// Failure messages name the status line shown.
inline char *toString(const StatusLine &s)
{
    return QTest::toString(QStringLiteral("\"%1\" in colour %2").arg(s.text).arg(int(s.colour)));
}

namespace rig {

inline constexpr int Green = int(StatusColour::Green);
inline constexpr int Yellow = int(StatusColour::Yellow);

inline const QStringList Emptied = sixteen({});

struct Rig {
    FakeControls controls;
    FakeSocket socket;
    RecordingServices services;
    FakeAlarm alarm{services};
    ModbusExchange exchange{controls, socket, alarm, services};

    // Sends one request with every box holding 1, then puts markers in the boxes so that
    // an emptied or untouched box can be told apart.
    bool send(const QString &request, const QString &length, Asker asker = Asker::Operator)
    {
        controls.length = length;
        controls.boxes = QStringList(16, QStringLiteral("1"));
        const qsizetype before = socket.sent.size();
        if (request == QLatin1String("holding"))
            exchange.ReadHolding(asker);
        else if (request == QLatin1String("coils"))
            exchange.ReadCoils(asker);
        else if (request == QLatin1String("inputs"))
            exchange.ReadInputs(asker);
        else if (request == QLatin1String("input registers"))
            exchange.ReadInputRegisters(asker);
        else if (request == QLatin1String("registers write"))
            exchange.WriteHolding();
        else if (request == QLatin1String("coils write"))
            exchange.WriteCoils();
        controls.boxes = markerBoxes();
        controls.statuses.clear();
        return socket.sent.size() == before + 1 && services.messages.isEmpty() && alarm.running;
    }
    // Seconds pass; the timeout's alarm fires when it comes due.
    void advance(double seconds)
    {
        alarm.advance(seconds, [this] { exchange.TimerTO_Timer(); });
    }
    bool isWrite() const { return quint8(socket.sent.last()[7]) >= 15; } // write multiple coils or registers
    void arrive(const QByteArray &bytes)
    {
        socket.waiting += bytes;
        exchange.Winsock1_DataArrival(qint32(socket.waiting.size()));
    }
    // A sound reply to the latest request, with a result of its own.
    QByteArray otherReply() const { return replyTo(socket.sent.last()); }
    // A sound reply to request, as it went on the wire, in the connection's framing: register
    // 4660 (0x1234) or the bits of 0x1234; a write's echo.
    QByteArray replyTo(const QByteArray &request) const
    {
        const framing::Framing &framing = *exchange.state().framing;
        const int unitAt = framing.carriesIds ? 6 : 0;
        const QByteArray asked = request.mid(unitAt + 1, framing.carriesIds ? -1 : request.size() - 3);
        const QByteArray reply = asked.left(1) + (quint8(asked[0]) < 15 ? hex("02 1234") : asked.mid(1, 4));
        return framing.wrap(reply, quint8(request[unitAt]), quint16(be16(request, 0)));
    }
    // A sound reply whose transaction id no request of the rig has.
    static QByteArray strayReply() { return hex("7777 0000 0005 01 03 02 4321"); }
    StatusLine otherStatus() const
    {
        return isWrite() ? StatusLine{"Registers written", StatusColour::Green}
                         : StatusLine{"Registers read", StatusColour::Green};
    }
    // The boxes after otherReply: the register read, or the 1s the write sent in its boxes.
    QStringList otherBoxes(const QStringList &before) const
    {
        if (!isWrite())
            return sixteen({"4660"});
        QStringList after = before;
        for (int k = 0; k < std::min<int>(be16(socket.sent.last(), 10), 16); ++k)
            after[k] = QStringLiteral("1");
        return after;
    }
};

inline bool statusMatches(const StatusLine &s, const QString &text, int colour, bool prefixOnly)
{
    return int(s.colour) == colour && (prefixOnly ? s.text.startsWith(text) : s.text == text);
}

} // namespace rig
