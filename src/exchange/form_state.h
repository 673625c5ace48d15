#pragma once

#include "adu.h"
#include "sent_request.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

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

    // Ticks of the reply timeout since the oldest request still awaiting its reply was sent.
    qint16 countTO() const
    {
        for (const SentRequest &r : awaited) {
            if (!r.timedOut)
                return qint16(r.ticks);
        }
        return 0;
    }
};
