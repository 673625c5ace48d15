#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>

// The window's private state beside its controls.
struct FormState {
    // The most recent read request, byte for byte. Nothing in the tool reads it back (the
    // request goes to the socket from the built frame); it is the record of what the last
    // read put on the wire, which the tests compare.
    std::array<quint8, 12> bufSend{};
    // Bytes of a reply that has not arrived whole yet. Never more than one reply long.
    QByteArray bufRecv;
    // The kind of the most recent request; set together by the senders, never cleared.
    bool flagRead = false;
    bool flagWrite = false;
    qint16 countTO = 0;       // ticks of the reply timeout since the most recent send
    int writtenQuantity = -1; // the quantity the most recent write sent
};
