#pragma once

#include "adu.h"
#include "sent_request.h"
#include "value_boxes.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>

// The window's private state beside its controls.
struct FormState {
    // Every request of the connection that is not settled, in the order sent: those whose
    // reply is awaited, and the latest request after its timeout, whose late reply still shows.
    QList<SentRequest> awaited;
    // Bytes of a reply that has not arrived whole yet. Never more than one reply long.
    QByteArray bufRecv;
    // The transaction id of the next request; 0 for the first one of each connection.
    quint16 nextTransactionId = 0;
    quint8 unitId = adu::DefaultUnitId;
    // The address box's text when the connection was made, and the connection's number: the
    // device the boxes' values came from.
    QString device;
    quint64 connection = 0;
    std::array<BoxContent, BoxCount> boxes{};
    // The last moment taken by a request or an edit of a box (see BoxContent).
    quint64 moments = 0;
    // The status line shows the outcome of the operator's write, which monitoring's routine
    // "Registers read" does not replace until the operator acts again.
    bool writeOutcomeShown = false;

    // The request sent last on this connection: once its timeout is reported, it alone still
    // shows a late reply, since the operator waits for no other.
    bool isLatest(const SentRequest &r) const { return r.transactionId() == quint16(nextTransactionId - 1); }
};
