#pragma once

#include "fake_services.h"

#include "exchange/form_controls.h"
#include "exchange/value_boxes.h"
#include "platform/alarm.h"
#include "platform/socket_control.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <algorithm>
#include <array>
#include <functional>

// Stand-ins for the window, the socket and the timeout's alarm, so the exchange can be driven
// one call at a time with exact bytes and no event loop. Each keeps a record of what the
// exchange did to it, for the tests, the fuzzers and the benchmark to judge.

// A socket whose received bytes are whatever the caller queues in `waiting`.
class FakeSocket : public SocketControl
{
public:
    void Connect() override { state = Connected; }
    void Close() override { state = Closed; }
    void Abort() override { state = Closed; }
    qint16 State() const override { return state; }
    bool Refused() const override { return false; }
    void SendData(const QByteArray &bytes) override { sent.append(bytes); }
    QByteArray GetData(qint64 maxBytes) override
    {
        if (maxBytes < 0)
            ++negativeAsks;
        if (maxBytes <= 0)
            return {};
        const QByteArray out = waiting.left(maxBytes);
        waiting.remove(0, out.size());
        return out;
    }
    qint64 BytesUnacknowledged() const override { return unacknowledged; }

    qint16 state = Connected;
    QByteArray waiting;
    QList<QByteArray> sent;
    int negativeAsks = 0; // GetData asked for fewer than no bytes
    qint64 unacknowledged = 0;
};

// The window's texts as plain strings; every status shown is kept in order.
class FakeControls : public FormControls
{
public:
    QString startText() const override { return start; }
    QString lengthText() const override { return length; }
    QString boxText(int index) const override
    {
        if (index < 0 || index >= BoxCount)
            ++boxesOutOfRange;
        return boxes.value(index);
    }
    void showBox(int index, const QString &text, bool isTyped) override
    {
        if (index < 0 || index >= BoxCount) {
            ++boxesOutOfRange;
            return;
        }
        boxes[index] = text;
        typed[index] = isTyped;
        boxesSet |= 1u << index;
    }
    void setStatus(const StatusLine &status) override
    {
        ++statusChanges;
        if (recordStatuses)
            statuses.append(status);
        if (onStatus)
            onStatus();
    }
    void showFrames(const QByteArray &request, const QByteArray &reply, double) override { frames = {request, reply}; }
    void replyTaken(const SentRequest &request, const QByteArray &reply) override
    {
        if (onReply)
            onReply(request, reply);
    }

    StatusLine lastStatus() const { return statuses.isEmpty() ? StatusLine{} : statuses.last(); }

    QString start = QStringLiteral("0");
    QString length = QStringLiteral("16");
    QStringList boxes = QStringList(BoxCount, QString());
    std::array<bool, BoxCount> typed{}; // shown as the operator's typing
    QList<StatusLine> statuses;
    bool recordStatuses = true; // off where millions of replies would pile them up
    int statusChanges = 0;
    mutable int boxesOutOfRange = 0;
    quint32 boxesSet = 0;           // bit k: box k was written
    QList<QByteArray> frames;       // beneath the status line: the request and its reply, if any
    std::function<void()> onStatus; // runs as each status is shown
    std::function<void(const SentRequest &, const QByteArray &)> onReply; // runs as each reply is shown
};

// An alarm on the services' clock, which it makes a virtual one that stands still until
// advance() moves it on: a test can send a request 0.9 s after another, and the alarm fires
// exactly at the moment it was armed for.
class FakeAlarm : public Alarm
{
public:
    explicit FakeAlarm(RecordingServices &services) : m_clock(services.clock)
    {
        if (!m_clock)
            m_clock = 0.0;
    }
    void start(int msec) override
    {
        running = true;
        due = *m_clock + msec / 1000.0;
        ++starts;
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }

    // Moves the clock on by seconds, calling fire at each moment on the way that the alarm
    // comes due (fire may arm it again).
    template <typename F>
    void advance(double seconds, F fire)
    {
        const double end = *m_clock + seconds;
        while (running && due <= end) {
            m_clock = std::max(*m_clock, due);
            running = false;
            fire();
        }
        m_clock = end;
    }

    bool running = false;
    double due = 0; // on the virtual clock
    int starts = 0;

private:
    std::optional<double> &m_clock;
};
