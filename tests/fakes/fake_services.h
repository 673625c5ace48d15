#pragma once

#include "platform/window_services.h"

#include <QStringList>
#include <functional>

// Window services that never wait for a person: message boxes are recorded and return at
// once (or run a hook while "open"), the busy pointer is counted, and the clock reads what
// the caller sets, or a real clock where one is given.
class RecordingServices : public WindowServices
{
public:
    void MessageBox(const QString &text) override
    {
        messages.append(text);
        if (whileOpen)
            whileOpen(text);
    }
    void setBusy(bool busy) override
    {
        busyDepth += busy ? 1 : -1;
        if (busy)
            ++busyCalls;
    }
    double clockSeconds() const override { return clockSource ? clockSource() : clock; }

    QStringList messages;
    int busyDepth = 0;
    int busyCalls = 0;
    double clock = 0;
    std::function<double()> clockSource;
    std::function<void(const QString &)> whileOpen; // runs while the box is "open"
};
