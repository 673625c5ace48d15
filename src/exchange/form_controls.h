#pragma once

#include "status.h"

#include <QByteArray>
#include <QString>

// What the exchange reads and writes of the window: the texts of the start, length and
// value boxes and the status line. The window implements it over its widgets; tests and
// fuzzers over plain strings.
class FormControls
{
public:
    virtual ~FormControls() = default;
    virtual QString startText() const = 0;
    virtual QString lengthText() const = 0;
    virtual QString boxText(int index) const = 0;
    virtual void setBoxText(int index, const QString &text) = 0;
    // Caption first, then colour.
    virtual void setStatus(const StatusLine &status) = 0;
    // A request is about to be refused with a message box.
    virtual void refusing() {}
    // A request went out, or a whole reply came in (request is the one it answers).
    virtual void requestSent(const QByteArray &) {}
    virtual void replyTaken(const QByteArray & /*request*/, const QByteArray & /*reply*/, double /*roundTripMs*/) {}
};
