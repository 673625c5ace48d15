#pragma once

#include "value_boxes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// What one whole reply means, judged against the kind of the most recent request. Pure:
// no widgets and no sockets, so tests and fuzzers can feed it any bytes.

struct Expectation {
    bool flagRead = false;
    bool flagWrite = false;
    int writtenQuantity = -1; // quantity of the most recent write, as sent
};

struct ReplyOutcome {
    enum Kind {
        Ignored,          // no request sent yet: nothing visible changes
        RegistersRead,    // boxes filled
        RegistersWritten, // write echo matches what was sent
        WriteError,       // a write reply that does not match
        Exception,        // the device answered with a Modbus exception
        Unexpected,       // a read reply with a function code that is not a read
        Malformed,        // bytes that cannot be a sound reply
    };
    Kind kind = Ignored;
    quint8 code = 0;      // exception code, or the unexpected function code
    QString detail;       // what was malformed
    // After a read: the text of each of the 16 boxes, "" for an emptied box. Empty when the
    // outcome leaves the boxes alone.
    QStringList boxes;
};

ReplyOutcome decodeReply(const QByteArray &adu, const Expectation &expect);

// The outcome of a reply stream whose header cannot start a Modbus TCP reply.
ReplyOutcome malformedHeader(const QByteArray &pending, const Expectation &expect);
