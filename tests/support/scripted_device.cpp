#include "scripted_device.h"

#include <QHostAddress>
#include <QTest>

ScriptedDevice::ScriptedDevice(QObject *parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            s->setParent(this);
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_client = s;
            connect(s, &QTcpSocket::readyRead, this, [this, s] { m_received.append(s->readAll()); });
        }
    });
}

bool ScriptedDevice::listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
quint16 ScriptedDevice::port() const { return m_server.serverPort(); }
QString ScriptedDevice::hostPort() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

bool ScriptedDevice::waitForClient(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !m_client.isNull(); }, timeoutMs);
}

bool ScriptedDevice::waitForReceived(int n, int timeoutMs)
{
    return QTest::qWaitFor([this, n] { return m_received.size() >= n; }, timeoutMs);
}

void ScriptedDevice::send(const QByteArray &bytes)
{
    if (!m_client)
        return;
    m_client->write(bytes);
    m_client->flush();
}

void ScriptedDevice::sendInPieces(const QByteArray &bytes, const QList<int> &pieceSizes, int delayMs)
{
    int at = 0;
    for (int size : pieceSizes) {
        if (at >= bytes.size())
            break;
        send(bytes.mid(at, size));
        at += size;
        QTest::qWait(delayMs);
    }
    if (at < bytes.size())
        send(bytes.mid(at));
}

void ScriptedDevice::sendByteByByte(const QByteArray &bytes, int delayMs)
{
    sendInPieces(bytes, QList<int>(bytes.size(), 1), delayMs);
}

void ScriptedDevice::closeClient()
{
    if (m_client)
        m_client->disconnectFromHost();
}

void ScriptedDevice::resetClient()
{
    if (!m_client)
        return;
    m_client->setSocketOption(QAbstractSocket::KeepAliveOption, 0);
    m_client->abort();
}
