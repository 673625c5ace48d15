#pragma once

// Stand-ins for the window, the socket, the reply timeout and the message box, so the
// exchange can be driven byte by byte without an event loop. Each keeps what a fuzz target
// needs to judge the exchange after every step.

#include "exchange/form_controls.h"
#include "platform/socket_control.h"
#include "platform/ticker.h"
#include "platform/window_services.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>

// A broken promise of the tool is a crash for libFuzzer: print what broke and abort.
#define FUZZ_CHECK(cond)                                                                            \
    do {                                                                                            \
        if (!(cond)) {                                                                              \
            std::fprintf(stderr, "broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

class FakeSocket : public SocketControl
{
public:
    void Connect() override {}
    void Close() override {}
    qint16 State() const override { return Connected; }
    void SendData(const QByteArray &bytes) override { sent = bytes; }
    QByteArray GetData(qint64 maxBytes) override
    {
        FUZZ_CHECK(maxBytes >= 0);
        const QByteArray taken = pending.left(maxBytes);
        pending.remove(0, taken.size());
        return taken;
    }

    QByteArray pending; // arrived, not yet taken
    QByteArray sent;    // the most recent request
};

class FakeTicker : public Ticker
{
public:
    void start() override { running = true; }
    void stop() override { running = false; }
    bool isRunning() const override { return running; }
    bool running = false;
};

class FakeServices : public WindowServices
{
public:
    void MessageBox(const QString &) override { ++refusals; }
    void setBusy(bool) override {}
    double clockSeconds() const override { return 0; }
    int refusals = 0;
};

// The window's texts, plus a record of what the exchange changed since the last request.
class FakeControls : public FormControls
{
public:
    QString startText() const override { return start; }
    QString lengthText() const override { return length; }
    QString boxText(int index) const override
    {
        FUZZ_CHECK(index >= 0 && index < 16);
        return boxes[index];
    }
    void setBoxText(int index, const QString &text) override
    {
        FUZZ_CHECK(index >= 0 && index < 16);
        boxes[index] = text;
        boxesSet |= 1u << index;
    }
    void setStatus(const StatusLine &s) override
    {
        status = s;
        ++statusChanges;
    }
    void requestSent(const QByteArray &) override { ++requests; }
    void replyTaken(const QByteArray &, const QByteArray &reply, double) override
    {
        ++replies;
        if (onReply)
            onReply(reply);
    }

    QString start = QStringLiteral("0");
    QString length = QStringLiteral("1");
    std::array<QString, 16> boxes{};
    StatusLine status;
    quint32 boxesSet = 0; // bit k: box k was written
    int statusChanges = 0;
    int requests = 0;
    int replies = 0;
    std::function<void(const QByteArray &reply)> onReply;
};
