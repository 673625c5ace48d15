#pragma once

#include <QString>
#include <QtGlobal>

struct ReplyOutcome;

// The status line: one message at a time in one of three colours, and every text the
// tool shows to the operator.

enum class StatusColour { Normal, Green, Yellow, Red };

struct StatusLine {
    QString text;
    StatusColour colour = StatusColour::Normal;
    bool operator==(const StatusLine &) const = default;
};

namespace msg {
inline const QString Connected = QStringLiteral("Connected");
inline const QString CantConnectTo = QStringLiteral("Can't connect to ");
inline const QString Disconnected = QStringLiteral("Disconnected");
inline const QString ErrorDisconnect = QStringLiteral("Error disconnect!");
inline const QString ConnectionLost = QStringLiteral("Connection lost");
inline const QString TimeOut = QStringLiteral("Modbus Time Out!");
inline const QString RegistersRead = QStringLiteral("Registers read");
inline const QString RegistersWritten = QStringLiteral("Registers written");
inline const QString ErrorWriting = QStringLiteral("Error writting registers");
inline const QString MalformedReply = QStringLiteral("Malformed reply");
inline const QString TooManyRegisters = QStringLiteral("Can not read more than 16 registers!");
// Two texts on purpose: the holding-register requests end in "!", the bit requests do not.
inline const QString NotConnectedBang = QStringLiteral("Device not connected via TCP/IP!");
inline const QString NotConnected = QStringLiteral("Device not connected via TCP/IP");
} // namespace msg

// "Illegal data address" for 2, and so on for the codes of the Modbus Application Protocol
// (section 7); empty for a code it does not define.
QString exceptionName(quint8 code);

// The one place where a reply's outcome becomes the status line.
StatusLine statusFor(const ReplyOutcome &outcome);

inline StatusLine connectedStatus() { return {msg::Connected, StatusColour::Green}; }
inline StatusLine cantConnectStatus(const QString &address) { return {msg::CantConnectTo + address, StatusColour::Yellow}; }
inline StatusLine disconnectedStatus() { return {msg::Disconnected, StatusColour::Red}; }
inline StatusLine errorDisconnectStatus() { return {msg::ErrorDisconnect, StatusColour::Yellow}; }
inline StatusLine connectionLostStatus() { return {msg::ConnectionLost, StatusColour::Red}; }
inline StatusLine timeOutStatus() { return {msg::TimeOut, StatusColour::Yellow}; }
