#pragma once

#include "ticker.h"

#include <QObject>
#include <QTimer>

// A ticker over QTimer.
class QtTicker : public Ticker
{
public:
    // onTick runs with context as the receiver, so it never outlives it.
    template <typename F>
    QtTicker(int intervalMs, QObject *context, F onTick)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, context, onTick);
    }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    bool isRunning() const override { return m_timer.isActive(); }
    QTimer &timer() { return m_timer; }

private:
    QTimer m_timer;
};
