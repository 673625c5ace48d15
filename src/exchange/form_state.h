#pragma once

#include "device_address.h"
#include "framing.h"
#include "sent_request.h"
#include "value_boxes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>

// The window's private state beside its controls.
struct FormState {
    // How requests and replies travel on this connection.
    const framing::Framing *framing = &framing::ModbusTcp;
    // Requests asked for that wait for the line: a framing without transaction ids carries one
    // exchange at a time, so the others wait here in the order asked. Always empty otherwise.
    QList<SentRequest> inLine;
    // Every request on the wire that is not settled, in the order sent: those whose reply is
    // awaited, and the latest request after its timeout, whose late reply still shows.
    QList<SentRequest> awaited;
    // Bytes of a reply that has not arrived whole yet. Never more than one reply long.
    QByteArray bufRecv;
    // The transaction id of the next request; 0 for the first one of each connection.
    quint16 nextTransactionId = 0;
    quint8 unitId = DefaultUnitId;
    // The address box's text when the connection was made, and the connection's number: the
    // device the boxes' values came from.
    QString device;
    quint64 connection = 0;
    std::array<BoxContent, BoxCount> boxes{};
    // The last moment taken by a request or an edit of a box (see BoxContent).
    quint64 moments = 0;
    // The moment of the request that went out last.
    quint64 latestSent = 0;
    // After a timeout or a broken stream on a line without transaction ids, nothing goes out
    // before this time on the window's clock, which each byte from the device pushes back
    // until the next request goes out or the late reply comes: a reply still on its way
    // would be taken for the next request's. -1 when no timeout or junk asks for it.
    double quietUntil = -1;
    // The status line shows the outcome of the operator's write, which monitoring's routine
    // "Registers read" does not replace until the operator acts again.
    bool writeOutcomeShown = false;

    // The request that went out last on this connection: once its timeout is reported, it
    // alone still shows a late reply, since the operator waits for no other.
    bool isLatest(const SentRequest &r) const { return r.moment == latestSent; }
};
