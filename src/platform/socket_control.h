#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The tool's TCP client connection, in the shape the handlers use: set the remote host,
// connect, close, ask the state, send bytes, take what arrived. Everything happens on the
// window's thread; the handlers learn of arrivals through DataArrival and of the
// connection's end through Lost.
class SocketControl : public QObject
{
    Q_OBJECT
public:
    // State values as the handlers read them: 0 closed and 7 connected; in between
    // 4 while the host name is looked up, 6 while the connection is being made,
    // 8 while closing, 9 after an error until the next Connect or Close.
    enum : qint16 {
        Closed = 0,
        ResolvingHost = 4,
        Connecting = 6,
        Connected = 7,
        Closing = 8,
        Error = 9,
    };
    static constexpr quint16 DefaultPort = 502;

    using QObject::QObject;

    QString RemoteHost;
    quint16 RemotePort = DefaultPort;

    virtual void Connect() = 0;
    virtual void Close() = 0;
    // Ends the connection, or the attempt to make one, at once: bytes not yet delivered are
    // discarded rather than sent later, and a pending connect or host lookup is given up.
    virtual void Abort() = 0;
    virtual qint16 State() const = 0;
    // The device refused the last Connect outright: nothing listens on its port, and the
    // connection request was answered with a reset. Holds with the Error state that follows,
    // until the next Connect or Close; an attempt that gets no answer at all is not refused.
    virtual bool Refused() const = 0;
    virtual void SendData(const QByteArray &bytes) = 0;
    // Takes up to maxBytes of what has been received, oldest first.
    virtual QByteArray GetData(qint64 maxBytes) = 0;
    // Bytes handed to SendData that the device's TCP has not acknowledged yet: still queued
    // in the tool or the system, or on their way.
    virtual qint64 BytesUnacknowledged() const = 0;

Q_SIGNALS:
    void DataArrival(qint32 bytesTotal);
    void StateChanged(qint16 state);
    // The connection ended without Close: the peer closed it, or it failed.
    void Lost();
};
