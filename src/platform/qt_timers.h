#pragma once

#include "alarm.h"

#include <QObject>
#include <QTimer>

// A ticker over QTimer: it calls back every interval while it runs. Starting it again
// restarts its interval.
class QtTicker
{
public:
    // onTick runs with context as the receiver, so it never outlives it.
    template <typename F>
    QtTicker(int intervalMs, QObject *context, F onTick)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, context, onTick);
    }
    void start() { m_timer.start(); }
    void stop() { m_timer.stop(); }
    bool isRunning() const { return m_timer.isActive(); }
    QTimer &timer() { return m_timer; }

private:
    QTimer m_timer;
};

// An alarm over a single-shot QTimer. A precise one: a coarse timer may fire up to 5 % of
// its interval early, and a deadline must not be judged before it has come.
class QtAlarm : public Alarm
{
public:
    template <typename F>
    QtAlarm(QObject *context, F onFire)
    {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, context, onFire);
    }
    void start(int msec) override { m_timer.start(msec); }
    void stop() override { m_timer.stop(); }
    bool isRunning() const override { return m_timer.isActive(); }
    QTimer &timer() { return m_timer; }

private:
    QTimer m_timer;
};
