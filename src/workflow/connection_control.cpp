// Connecting and disconnecting. Each waits at most two seconds for the socket to reach the
// awaited state while the window goes on handling its events, then reports the outcome in
// the status line and the two buttons. A connection the device refuses ends its wait at once.

#include "form1.h"

#include "exchange/device_address.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cmath>

namespace {
constexpr double WaitSeconds = 2.0;
}

void Form1::waitUntil(const std::function<bool()> &done, double seconds)
{
    // The window's clock decides when the time is up; in between the wait sleeps in the event
    // loop, woken by the socket's state change or by a timer, never by polling.
    const double start = m_services->clockSeconds();
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool timeUp = false;
    connect(&limit, &QTimer::timeout, &loop, [&loop, &timeUp] {
        timeUp = true;
        loop.quit();
    });
    connect(&Winsock1, &SocketControl::StateChanged, &loop, [&loop, &done] {
        if (done())
            loop.quit();
    });
    // Only the timer waits again, when it fired before the clock says the time is up. Any
    // other end of the loop (done, or the application quitting because the window was
    // closed) ends the wait.
    double left = seconds;
    while (!done() && left > 0) {
        timeUp = false;
        limit.start(int(std::ceil(left * 1000)));
        loop.exec();
        if (!timeUp)
            break;
        left = seconds - (m_services->clockSeconds() - start);
    }
}

void Form1::cmdConnect_Click()
{
    // An address that names no device (an unknown scheme, no host, a bad port or unit) is
    // refused before anything goes on the network.
    const auto target = parseDeviceAddress(txtIP->text());
    if (!target) {
        setStatus(cantConnectStatus(txtIP->text()));
        return;
    }
    m_services->setBusy(true);
    // Nothing of an earlier connection may answer on this one.
    m_exchange.startConnection(txtIP->text(), *target->framing, target->unit);
    Winsock1.RemoteHost = target->host;
    Winsock1.RemotePort = target->port;
    Winsock1.Connect();
    // A refusal is the device's final answer: waiting longer would only delay the report.
    // An attempt that gets no answer may still connect, so it has the whole two seconds.
    waitUntil([this] { return Winsock1.State() == SocketControl::Connected || Winsock1.Refused(); }, WaitSeconds);
    if (Winsock1.State() == SocketControl::Connected) {
        setStatus(connectedStatus());
        cmdConnect->setEnabled(false);
        cmdDisconnect->setEnabled(true);
    } else {
        // Given up for good: a connection that completed later would answer reads behind a
        // "Can't connect", and hold the only client slot of many devices unseen.
        Winsock1.Abort();
        setStatus(cantConnectStatus(txtIP->text()));
    }
    m_services->setBusy(false);
}

void Form1::cmdDisconnect_Click()
{
    m_services->setBusy(true);
    if (TimerRead.isRunning())
        stopMonitoring();
    // Requests that are unanswered or still queued are abandoned with the connection: a
    // graceful close would deliver them to the device whenever the link comes back.
    const bool abandon = m_exchange.unanswered() || Winsock1.BytesUnacknowledged() > 0;
    m_exchange.endConnection();
    if (Winsock1.State() != SocketControl::Closed) {
        if (abandon)
            Winsock1.Abort();
        else
            Winsock1.Close();
    }
    waitUntil([this] { return Winsock1.State() == SocketControl::Closed; }, WaitSeconds);
    if (Winsock1.State() != SocketControl::Closed) {
        setStatus(errorDisconnectStatus());
    } else {
        setStatus(disconnectedStatus());
        cmdConnect->setEnabled(true);
        cmdDisconnect->setEnabled(false);
    }
    m_services->setBusy(false);
}

void Form1::connectionLost()
{
    // The device closed the connection or it failed: say so, and leave the window as after a
    // disconnect. An outstanding request can no longer be answered, so its timeout would
    // only replace the true reason with a vaguer one.
    if (TimerRead.isRunning())
        stopMonitoring();
    m_exchange.endConnection();
    setStatus(connectionLostStatus());
    cmdConnect->setEnabled(true);
    cmdDisconnect->setEnabled(false);
}
