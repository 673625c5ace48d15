#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>
#include <functional>

// Gives a widget the tooltip that make() returns, worked out only when Qt is about to show
// it: the texts it depends on can change on every key press, and typing must not run the
// tool's code.
class TipOnDemand : public QObject
{
public:
    TipOnDemand(QWidget *widget, std::function<QString()> make) : QObject(widget), m_make(std::move(make))
    {
        widget->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip)
            static_cast<QWidget *>(watched)->setToolTip(m_make());
        return false; // the widget shows the tooltip as usual
    }

private:
    std::function<QString()> m_make;
};
