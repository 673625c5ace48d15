#pragma once

#include "window_services.h"

class QWidget;

// Real message boxes, the application's override cursor and a monotonic clock.
class QtWindowServices : public WindowServices
{
public:
    explicit QtWindowServices(QWidget *window) : m_window(window) {}
    void MessageBox(const QString &text) override;
    void setBusy(bool busy) override;
    double clockSeconds() const override;

private:
    QWidget *m_window;
    int m_busyDepth = 0;
};
