#pragma once

#include "exchange/form_controls.h"
#include "platform/socket_control.h"
#include "platform/ticker.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

// Stand-ins for the window, the socket and the timeout ticker, so the exchange can be driven
// one call at a time with exact bytes and no event loop.

// A connected socket whose received bytes are whatever the test queues in `waiting`.
class FakeSocket : public SocketControl
{
public:
    void Connect() override { state = Connected; }
    void Close() override { state = Closed; }
    qint16 State() const override { return state; }
    void SendData(const QByteArray &bytes) override { sent.append(bytes); }
    QByteArray GetData(qint64 maxBytes) override
    {
        if (maxBytes <= 0)
            return {};
        const QByteArray out = waiting.left(maxBytes);
        waiting.remove(0, out.size());
        return out;
    }

    qint16 state = Connected;
    QByteArray waiting;
    QList<QByteArray> sent;
};

// The window's texts as plain strings; every status shown is kept in order.
class FakeControls : public FormControls
{
public:
    QString startText() const override { return start; }
    QString lengthText() const override { return length; }
    QString boxText(int index) const override { return boxes.value(index); }
    void setBoxText(int index, const QString &text) override
    {
        if (index < 0 || index >= boxes.size()) {
            ++boxesOutOfRange;
            return;
        }
        boxes[index] = text;
    }
    void setStatus(const StatusLine &status) override
    {
        statuses.append(status);
        if (onStatus)
            onStatus();
    }

    StatusLine lastStatus() const { return statuses.isEmpty() ? StatusLine{} : statuses.last(); }

    QString start = QStringLiteral("0");
    QString length = QStringLiteral("16");
    QStringList boxes = QStringList(16, QString());
    QList<StatusLine> statuses;
    int boxesOutOfRange = 0;
    std::function<void()> onStatus; // runs as each status is shown
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
