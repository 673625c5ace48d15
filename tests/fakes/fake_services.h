#pragma once

#include "platform/window_services.h"

#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

// Window services that never wait for a person: message boxes are recorded and return at
// once (or run a hook while "open"), the busy pointer is counted, and the clock is a steady
// one unless the caller makes it stand still at a time of its choosing.
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
    double clockSeconds() const override
    {
        if (clock)
            return *clock;
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }

    QStringList messages;
    int busyDepth = 0;
    int busyCalls = 0;
    // Stands still where set. The connect and disconnect waits need a clock that runs.
    std::optional<double> clock;
    std::function<void(const QString &)> whileOpen; // runs while the box is "open"
};
