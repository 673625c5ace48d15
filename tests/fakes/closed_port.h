#pragma once

#include <QHostAddress>
#include <QTcpServer>

// A loopback port on which nothing listens: one the system just handed out and took back.
// 0 when no port could be had.
inline quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
