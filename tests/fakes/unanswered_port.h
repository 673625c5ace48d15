#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback port where a connection request gets no answer at all: the listen queue has
// room for one connection, which the filler holds, so the system drops every further SYN
// and the client retransmits. resumeAccepting on the server lets a later one through.
struct UnansweredPort {
    QTcpServer server;
    QTcpSocket filler;

    // The port, or 0 when none could be set up.
    quint16 open()
    {
        server.setListenBacklogSize(0);
        if (!server.listen(QHostAddress::LocalHost, 0))
            return 0;
        server.pauseAccepting();
        filler.connectToHost(QHostAddress::LocalHost, server.serverPort());
        return filler.waitForConnected(2000) ? server.serverPort() : 0;
    }
};
