#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

// Turns the operator's texts into one request, or refuses them with a message that names
// the field and what it must hold. Nothing is sent unless every input is sound.

struct BuiltRequest {
    QByteArray request; // the PDU: the function code and its data; empty when refused
    QString refusal;    // the message for the operator when refused
    bool ok() const { return refusal.isEmpty(); }
};

using BoxText = std::function<QString(int index)>;

// The read request for the start and length texts; the length limit of 16 and the
// connection are checked by the caller first.
BuiltRequest readRequestFrom(quint8 functionCode, const QString &startText, const QString &lengthText);

// The writes take the start, the length and each box only when the text is wholly a number
// (numeric::exactValue); the reads keep the lenient reading, where "12abc" is 12.

// Write multiple registers: boxes 0 to N-1 each a whole number from 0 to 65535.
BuiltRequest writeRegistersFrom(const QString &startText, const QString &lengthText, const BoxText &box);

// Write multiple coils: boxes 0 to N-1 each 0 or 1 by their numeric value ("1.0" and "01"
// are 1); the bits of the last data byte beyond N are 0, as the Modbus standard pads it.
BuiltRequest writeCoilsFrom(const QString &startText, const QString &lengthText, const BoxText &box);

using WriteBuilder = BuiltRequest (*)(const QString &startText, const QString &lengthText, const BoxText &box);
