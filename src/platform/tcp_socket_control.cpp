#include "tcp_socket_control.h"

#include <QTcpSocket>

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

TcpSocketControl::TcpSocketControl(QObject *parent) : SocketControl(parent), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        switch (s) {
        case QAbstractSocket::UnconnectedState: {
            const bool lost = m_wasConnected && !m_closing;
            // A failed attempt stays visible as an error until the next Connect or Close.
            const bool failedAttempt = m_state == Connecting || m_state == ResolvingHost || m_state == Error;
            // A refusal is told here, before the state changes, so that a wait on the state
            // sees it: QTcpSocket has set its error by now, and says errorOccurred only
            // after. An attempt that Abort gives up has no error of its own.
            if (failedAttempt && m_state != Error)
                m_refused = !m_closing && m_socket->error() == QAbstractSocket::ConnectionRefusedError;
            m_wasConnected = false;
            m_closing = false;
            setState(failedAttempt ? Error : Closed);
            if (lost)
                Q_EMIT Lost();
            break;
        }
        case QAbstractSocket::HostLookupState: setState(ResolvingHost); break;
        case QAbstractSocket::ConnectingState: setState(Connecting); break;
        case QAbstractSocket::ConnectedState:
            // Requests are small and the device waits for each one: no Nagle delay. The option
            // belongs to the connected socket, so it is set on each new connection.
            m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            m_wasConnected = true;
            setState(Connected);
            break;
        case QAbstractSocket::ClosingState: setState(Closing); break;
        default: break;
        }
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (m_state == Connecting || m_state == ResolvingHost) {
            m_refused = error == QAbstractSocket::ConnectionRefusedError;
            setState(Error);
        }
    });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { Q_EMIT DataArrival(qint32(m_socket->bytesAvailable())); });
}

void TcpSocketControl::setState(qint16 state)
{
    if (m_state == state)
        return;
    if (state != Error)
        m_refused = false;
    m_state = state;
    Q_EMIT StateChanged(state);
}

void TcpSocketControl::Connect()
{
    // Abandon whatever the socket was doing (a connection, a failed or pending attempt) so
    // each Connect starts afresh.
    Abort();
    m_socket->connectToHost(RemoteHost, RemotePort);
}

void TcpSocketControl::Close()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        setState(Closed);
        return;
    }
    m_closing = true;
    m_socket->disconnectFromHost();
}

void TcpSocketControl::Abort()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState) {
        // Closing a descriptor leaves its unsent bytes to the system, which goes on sending
        // them, to a device that comes back minutes later; a zero linger time resets the
        // connection and discards them.
        const qintptr fd = m_socket->socketDescriptor();
        if (fd != -1) {
            const linger discard{1, 0};
            ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &discard, sizeof discard);
        }
        m_closing = true;
        m_socket->abort();
        m_closing = false;
    }
    setState(Closed);
}

qint16 TcpSocketControl::State() const { return m_state; }

bool TcpSocketControl::Refused() const { return m_refused; }

void TcpSocketControl::SendData(const QByteArray &bytes)
{
    if (m_socket->state() == QAbstractSocket::ConnectedState) {
        m_socket->write(bytes);
        // QTcpSocket only queues what is written and sends it on a later pass of the event
        // loop; the device can start answering a pass earlier if it goes out now.
        m_socket->flush();
    }
}

QByteArray TcpSocketControl::GetData(qint64 maxBytes) { return m_socket->read(maxBytes); }

qint64 TcpSocketControl::BytesUnacknowledged() const
{
    qint64 queued = m_socket->bytesToWrite();
    // The system's send queue holds what is unsent and what is sent but not acknowledged.
    int unacknowledged = 0;
    const qintptr fd = m_socket->socketDescriptor();
    if (fd != -1 && ::ioctl(int(fd), SIOCOUTQ, &unacknowledged) == 0)
        queued += unacknowledged;
    return queued;
}
