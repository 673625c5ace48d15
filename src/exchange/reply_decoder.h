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
        RegistersWritten, // write echo of the function, start and quantity that were sent
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

// reply is the PDU the framing took off the stream: the function code and its data.
ReplyOutcome decodeReply(const QByteArray &reply, const SentRequest &request);

// Item k of the data that starts at dataAt, as a box shows it: a register's 16 bits as a
// number, or a coil's or input's bit as 0 or 1 (the first item in the least significant bit).
// The caller has checked that the data holds item k. A read reply's values and a write
// request's are laid out alike.
QString itemText(const QByteArray &pdu, int dataAt, bool registers, int k);

// The outcome of bytes that are no sound reply, for the reason given; emptyBoxes when a read
// was waiting, whose values can no longer be told from the junk.
ReplyOutcome malformedReply(const QString &detail, bool emptyBoxes);
