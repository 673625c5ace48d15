#include "status.h"

#include "reply_decoder.h"

StatusLine statusFor(const ReplyOutcome &o)
{
    switch (o.kind) {
    case ReplyOutcome::RegistersRead: return {msg::RegistersRead, StatusColour::Green};
    case ReplyOutcome::RegistersWritten: return {msg::RegistersWritten, StatusColour::Green};
    case ReplyOutcome::WriteError: return {msg::ErrorWriting, StatusColour::Yellow};
    case ReplyOutcome::Exception: {
        const QString name = msg::exceptionName(o.code);
        QString text = QStringLiteral("Modbus exception %1").arg(o.code);
        if (!name.isEmpty())
            text += QStringLiteral(": ") + name;
        return {text, StatusColour::Yellow};
    }
    case ReplyOutcome::Unexpected:
        return {QStringLiteral("Unexpected reply: function code %1").arg(o.code), StatusColour::Yellow};
    case ReplyOutcome::Malformed:
        return {o.detail.isEmpty() ? msg::MalformedReply : msg::MalformedReply + QStringLiteral(": ") + o.detail,
                StatusColour::Yellow};
    }
    return {};
}
