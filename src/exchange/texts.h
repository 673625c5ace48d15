#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

// The tool's own texts, each in one place: the captions that change while it runs, the status
// messages, the refusals and the Modbus exception names. The tables' names are in their records.

namespace caption {
// The monitoring button names what a click does: "ON" while monitoring is off.
inline const QString MonitoringOn = QStringLiteral("Realtime Monitoring ON");
inline const QString MonitoringOff = QStringLiteral("Realtime Monitoring OFF");
} // namespace caption

namespace msg {
inline const QString Connected = QStringLiteral("Connected");
inline const QString CantConnectTo = QStringLiteral("Can't connect to ");
inline const QString Disconnected = QStringLiteral("Disconnected");
inline const QString ErrorDisconnect = QStringLiteral("Error disconnect!");
inline const QString ConnectionLost = QStringLiteral("Connection lost");
inline const QString TimeOut = QStringLiteral("Modbus Time Out!");
inline const QString RegistersRead = QStringLiteral("Registers read");
inline const QString RegistersWritten = QStringLiteral("Registers written");
// The spelling is the tool's own and kept on purpose, as the "!" of the not-connected texts
// below is: do not correct it.
inline const QString ErrorWriting = QStringLiteral("Error writting registers");
inline const QString MalformedReply = QStringLiteral("Malformed reply");

// Refusals: message boxes for a request that is not sent.
inline const QString TooManyRegisters = QStringLiteral("Can not read more than 16 registers!");
// Two texts on purpose: the holding-register requests end in "!", the others do not.
inline const QString NotConnectedBang = QStringLiteral("Device not connected via TCP/IP!");
inline const QString NotConnected = QStringLiteral("Device not connected via TCP/IP");
inline const QString StartAddressRange = QStringLiteral("The start address must be a whole number from 0 to 65535.");
// A line without transaction ids carries one request at a time; this many may wait for it.
inline const QString LineFull = QStringLiteral(
    "The device has not answered the four requests before this one. Wait for them, or press Disconnect.");
inline const QString LengthRange = QStringLiteral("The length must be a whole number from 0 to 16.");
QString registerValueRange(int box);
QString coilValueRange(int box);

// "Illegal data address" for 2, and so on for the codes of the Modbus Application Protocol
// (section 7); empty for a code it does not define.
QString exceptionName(quint8 code);
} // namespace msg

// "Value 3": how the operator and a screen reader know value box 3 when its table and
// address say nothing (the boxes count from 0, like the addresses after the start).
QString boxName(int box);
