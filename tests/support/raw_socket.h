#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QTcpSocket>

// A plain TCP socket towards the simulator, for tests that send exact bytes and read back
// exact bytes, below any Modbus client.

inline constexpr int ReplyTimeoutMs = 3000;

// Reads until `size` bytes are in or the peer has closed or `timeoutMs` ran out.
inline QByteArray readUpTo(QTcpSocket &socket, qsizetype size, int timeoutMs = 6000)
{
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (data.size() < size && !deadline.hasExpired()) {
        data += socket.readAll();
        if (data.size() >= size || socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.waitForReadyRead(int(deadline.remainingTime()));
    }
    return data + socket.readAll();
}

inline bool connectRaw(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    return socket.waitForConnected(ReplyTimeoutMs);
}
