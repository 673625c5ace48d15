#pragma once

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A Modbus TCP device in the test: it listens on loopback, records every byte a client
// sends, and sends back exactly the bytes a test chooses, in chosen pieces and with chosen
// delays.
class ScriptedDevice : public QObject
{
    Q_OBJECT
public:
    explicit ScriptedDevice(QObject *parent = nullptr);

    bool listen(); // on 127.0.0.1, a free port
    quint16 port() const;
    QString hostPort() const; // "127.0.0.1:PORT", for the address box
    bool waitForClient(int timeoutMs = 5000);
    // Waits until at least n bytes have been received in all.
    bool waitForReceived(int n, int timeoutMs = 5000);
    QByteArray received() const { return m_received; }
    void clearReceived() { m_received.clear(); }

    // Sends bytes at once, or split into the given piece sizes with delayMs between them
    // (each piece is flushed on its own so the client sees separate arrivals).
    void send(const QByteArray &bytes);
    void sendInPieces(const QByteArray &bytes, const QList<int> &pieceSizes, int delayMs);
    void sendByteByByte(const QByteArray &bytes, int delayMs);
    void closeClient(); // an orderly close
    void resetClient(); // an abortive close (RST)
    QTcpSocket *client() const { return m_client; }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
};
