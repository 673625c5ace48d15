#include "sim_process.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QRegularExpression>

namespace {
constexpr int StartTimeoutMs = 5000;
constexpr int StopTimeoutMs = 3000;
const QString Host = QStringLiteral("127.0.0.1");
} // namespace

SimProcess::SimProcess(QStringList extraArgs) : extraArgs_(std::move(extraArgs)) {}

SimProcess::~SimProcess() { stop(); }

bool SimProcess::start()
{
    port_ = 0;
    const QStringList args = QStringList{"--host", Host, "--port", "0"} + extraArgs_;
    process_.start(QStringLiteral(MODBUS_SIM_PATH), args);
    if (!process_.waitForStarted(StartTimeoutMs)) {
        qWarning() << "modbus-sim did not start:" << process_.errorString();
        return false;
    }

    static const QRegularExpression listening(QStringLiteral("^modbus-sim listening on (.+):(\\d+)$"));
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!deadline.hasExpired()) {
        if (!process_.canReadLine()) {
            if (process_.state() != QProcess::Running)
                break;
            process_.waitForReadyRead(int(deadline.remainingTime()));
            continue;
        }
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        const auto match = listening.match(line);
        if (!match.hasMatch()) {
            qWarning() << "modbus-sim printed an unexpected line:" << line;
            continue;
        }
        bool ok = false;
        const uint port = match.captured(2).toUInt(&ok);
        if (!ok || port == 0 || port > 65535) {
            qWarning() << "modbus-sim reported a bad port:" << line;
            break;
        }
        port_ = quint16(port);
        return true;
    }
    qWarning() << "modbus-sim never reported its port; stderr:" << process_.readAllStandardError();
    stop();
    return false;
}

quint16 SimProcess::port() const { return port_; }

QString SimProcess::hostPort() const { return Host + QLatin1Char(':') + QString::number(port_); }

QString SimProcess::toolAddress() const
{
    return extraArgs_.contains(QStringLiteral("--rtu")) ? QStringLiteral("rtu://") + hostPort() : hostPort();
}

void SimProcess::stop()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(StopTimeoutMs)) {
        process_.kill();
        process_.waitForFinished(StopTimeoutMs);
    }
}

QProcess &SimProcess::process() { return process_; }
