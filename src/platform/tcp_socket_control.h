#pragma once

#include "socket_control.h"

class QTcpSocket;

// The socket control over QTcpSocket.
class TcpSocketControl : public SocketControl
{
    Q_OBJECT
public:
    explicit TcpSocketControl(QObject *parent = nullptr);

    void Connect() override;
    void Close() override;
    void Abort() override;
    qint16 State() const override;
    bool Refused() const override;
    void SendData(const QByteArray &bytes) override;
    QByteArray GetData(qint64 maxBytes) override;
    qint64 BytesUnacknowledged() const override;

private:
    void setState(qint16 state);

    QTcpSocket *m_socket;
    qint16 m_state = Closed;
    bool m_wasConnected = false;
    bool m_closing = false; // Close was asked for: the end of the connection is not a loss
    bool m_refused = false; // the Error state is the device's refusal of the attempt
};
