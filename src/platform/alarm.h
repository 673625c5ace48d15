#pragma once

// A timer that fires once, on the window's thread, when the time it was armed for has come.
// Arming it again moves that moment; stop disarms it. The reply timeout is one: armed for the
// earliest moment a request's wait runs out, it wakes the window only then.
class Alarm
{
public:
    virtual ~Alarm() = default;
    virtual void start(int msec) = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};
