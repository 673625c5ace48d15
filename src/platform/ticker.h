#pragma once

// A ticker as the handlers use it: start, stop, ask whether it runs; each tick calls back on
// the window's thread. Starting a running ticker restarts its interval.
class Ticker
{
public:
    virtual ~Ticker() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};
