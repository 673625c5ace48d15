#pragma once

#include "texts.h"

#include <QString>
#include <QtGlobal>

struct ReplyOutcome;

// The status line: one message at a time in one of three colours.

enum class StatusColour { Normal, Green, Yellow, Red };

struct StatusLine {
    QString text;
    StatusColour colour = StatusColour::Normal;
    bool operator==(const StatusLine &) const = default;
};

// The one place where a reply's outcome becomes the status line.
StatusLine statusFor(const ReplyOutcome &outcome);

inline StatusLine connectedStatus() { return {msg::Connected, StatusColour::Green}; }
inline StatusLine cantConnectStatus(const QString &address)
{
    return {msg::CantConnectTo + address, StatusColour::Yellow};
}
inline StatusLine disconnectedStatus() { return {msg::Disconnected, StatusColour::Red}; }
inline StatusLine errorDisconnectStatus() { return {msg::ErrorDisconnect, StatusColour::Yellow}; }
inline StatusLine connectionLostStatus() { return {msg::ConnectionLost, StatusColour::Red}; }
inline StatusLine timeOutStatus() { return {msg::TimeOut, StatusColour::Yellow}; }
