#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the modbus-sim program on a free loopback port for the length of a test.
// `extraArgs` go on its command line: {"--rtu"} for a device that speaks RTU frames
// over TCP, {"--hostile"}, {"--live"} and any mix of them.
class SimProcess
{
public:
    explicit SimProcess(QStringList extraArgs = {});
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator on 127.0.0.1 with a system-chosen port and waits up to 5 s
    // for it to report where it listens. False if it did not; the reason has been
    // logged with qWarning.
    bool start();
    quint16 port() const;
    QString hostPort() const; // "127.0.0.1:PORT"
    // What the tool's address box takes for it: "127.0.0.1:PORT", or with --rtu
    // "rtu://127.0.0.1:PORT".
    QString toolAddress() const;
    // SIGTERM first so the simulator can shut down cleanly; SIGKILL if it lingers.
    void stop();
    QProcess &process();

private:
    QStringList extraArgs_;
    QProcess process_;
    quint16 port_ = 0;
};
