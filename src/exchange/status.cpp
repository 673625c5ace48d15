#include "status.h"

#include "reply_decoder.h"

QString exceptionName(quint8 code)
{
    switch (code) {
    case 1: return QStringLiteral("Illegal function");
    case 2: return QStringLiteral("Illegal data address");
    case 3: return QStringLiteral("Illegal data value");
    case 4: return QStringLiteral("Server device failure");
    case 5: return QStringLiteral("Acknowledge");
    case 6: return QStringLiteral("Server device busy");
    case 8: return QStringLiteral("Memory parity error");
    case 10: return QStringLiteral("Gateway path unavailable");
    case 11: return QStringLiteral("Gateway target device failed to respond");
    default: return {};
    }
}

StatusLine statusFor(const ReplyOutcome &o)
{
    switch (o.kind) {
    case ReplyOutcome::Ignored:
        return {};
    case ReplyOutcome::RegistersRead:
        return {msg::RegistersRead, StatusColour::Green};
    case ReplyOutcome::RegistersWritten:
        return {msg::RegistersWritten, StatusColour::Green};
    case ReplyOutcome::WriteError:
        return {msg::ErrorWriting, StatusColour::Yellow};
    case ReplyOutcome::Exception: {
        const QString name = exceptionName(o.code);
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
