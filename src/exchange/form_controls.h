#pragma once

#include "reply_decoder.h"
#include "sent_request.h"
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
    // Shows value box index with this text, marked as typed by the operator or not. What the
    // box holds beside its text is in the exchange's state.
    virtual void showBox(int index, const QString &text, bool typed) = 0;
    // Caption first, then colour.
    virtual void setStatus(const StatusLine &status) = 0;
    // A request is about to be refused with a message box.
    virtual void refusing(Asker) {}
    // The frames of the exchange the status line tells of: a request with no reply yet
    // (roundTripMs negative), or a request and its reply.
    virtual void showFrames(const QByteArray & /*request*/, const QByteArray & /*reply*/, double /*roundTripMs*/) {}
    // The reply to a request was taken and its outcome shown, whether or not it took the status line.
    virtual void replyTaken(const SentRequest & /*request*/, const QByteArray & /*reply*/) {}
};
