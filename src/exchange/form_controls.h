#pragma once

#include "reply_decoder.h"
#include "sent_request.h"
#include "status.h"
#include "value_boxes.h"

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
    // A reply's value for box index, from the item source names; "" and no source empty it.
    virtual void setBoxText(int index, const QString &text, const BoxSource &source) = 0;
    // Caption first, then colour.
    virtual void setStatus(const StatusLine &status) = 0;
    // A request is about to be refused with a message box.
    virtual void refusing() {}
    // A request went out, or the reply to one was taken and shown.
    virtual void requestSent(const SentRequest &) {}
    virtual void replyTaken(const SentRequest & /*request*/, const ReplyOutcome &, const QByteArray & /*reply*/,
                            double /*roundTripMs*/)
    {
    }
};
