#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

// With MODBUS_TCP_EXIT_AFTER_FIRST_PAINT=1 a program quits once its window has painted for
// the first time, so that start-up can be timed from outside. The benchmark's build of the
// tool and its minimal program share it, so both sides of the comparison stop at the same
// moment. The tool as shipped is built without it and reads no environment variable.
class ExitAfterFirstPaint : public QObject
{
public:
    using QObject::QObject;

    // Watches window when the environment asks for it; otherwise does nothing.
    static void installIfAsked(QObject *window)
    {
        if (qEnvironmentVariableIntValue("MODBUS_TCP_EXIT_AFTER_FIRST_PAINT") == 1)
            window->installEventFilter(new ExitAfterFirstPaint(window));
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
};
