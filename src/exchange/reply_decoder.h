#pragma once

#include "value_boxes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct SentRequest;

// What one whole reply means, judged against the request it answers, as a Modbus client
// checks a confirmation against its request. Pure: no widgets and no sockets, so tests and
// fuzzers can feed it any bytes.

struct ReplyOutcome {
    enum Kind {
        RegistersRead,    // boxes filled
        RegistersWritten, // write echo of the function and quantity that were sent
        WriteError,       // a write reply that does not confirm the write
        Exception,        // the device answered with a Modbus exception
        Unexpected,       // a read reply with another function code than the read's
        Malformed,        // bytes that cannot be a sound reply
    };
    Kind kind;
    quint8 code = 0; // exception code, or the unexpected function code
    QString detail;  // what was malformed
    // After a read: the text of each of the 16 boxes, "" for an emptied box. Empty when the
    // outcome leaves the boxes alone.
    QStringList boxes;
};

ReplyOutcome decodeReply(const QByteArray &adu, const SentRequest &request);

// The outcome of a reply stream whose header cannot start a Modbus TCP reply; emptyBoxes
// when a read was waiting, whose values can no longer be told from the junk.
ReplyOutcome malformedStream(const QByteArray &pending, bool emptyBoxes);
