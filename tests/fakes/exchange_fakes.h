#pragma once

#include "exchange/form_controls.h"
#include "exchange/value_boxes.h"
#include "platform/socket_control.h"
#include "platform/ticker.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <array>
#include <functional>

// Stand-ins for the window, the socket and the timeout ticker, so the exchange can be driven
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
    void setBoxText(int index, const QString &text, const BoxSource &source) override
    {
        if (index < 0 || index >= BoxCount) {
            ++boxesOutOfRange;
            return;
        }
        boxes[index] = text;
        sources[index] = source;
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
    void requestSent(const SentRequest &) override { ++requests; }
    void replyTaken(const SentRequest &request, const ReplyOutcome &, const QByteArray &reply, double) override
    {
        ++replies;
        if (onReply)
            onReply(request, reply);
    }

    StatusLine lastStatus() const { return statuses.isEmpty() ? StatusLine{} : statuses.last(); }

    QString start = QStringLiteral("0");
    QString length = QStringLiteral("16");
    QStringList boxes = QStringList(BoxCount, QString());
    std::array<BoxSource, BoxCount> sources{};
    QList<StatusLine> statuses;
    bool recordStatuses = true; // off where millions of replies would pile them up
    int statusChanges = 0;
    mutable int boxesOutOfRange = 0;
    quint32 boxesSet = 0; // bit k: box k was written
    int requests = 0;
    int replies = 0;
    std::function<void()> onStatus;                   // runs as each status is shown
    std::function<void(const SentRequest &, const QByteArray &)> onReply; // runs as each reply is shown
};

class FakeTicker : public Ticker
{
public:
    void start() override
    {
        running = true;
        ++starts;
    }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }

    bool running = false;
    int starts = 0;
};
