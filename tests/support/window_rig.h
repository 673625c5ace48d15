#pragma once

#include "fake_services.h"
#include "test_bytes.h"
#include "workflow/form1.h"

#include <QByteArray>
#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QString>
#include <QTest>
#include <memory>

// The real window with a real TCP socket, whose message boxes are recorded instead of shown.
struct WindowRig {
    RecordingServices *services;
    Form1 form;

    // socket stands in for the window's own TCP socket where given.
    explicit WindowRig(SocketControl *socket = nullptr) : WindowRig(std::make_unique<RecordingServices>(), socket) {}

    // Types the address and clicks Connect; true when the socket ended up connected.
    bool connectTo(const QString &address)
    {
        form.txtIP->setText(address);
        form.cmdConnect_Click();
        return form.Winsock1.State() == SocketControl::Connected;
    }

    // Shows the window and waits until it is on screen.
    bool shown()
    {
        form.show();
        return QTest::qWaitForWindowExposed(&form);
    }

    QString status() const { return form.lblStatus->text(); }
    QColor statusColour() const { return form.lblStatus->palette().color(QPalette::Window); }
    QStringList messages() const { return services->messages; }
    const FormState &state() { return form.exchange().state(); }

private:
    WindowRig(std::unique_ptr<RecordingServices> s, SocketControl *socket)
        : services(s.get()), form(std::move(s), socket)
    {
    }
};

inline const QColor Green(0, 255, 0);
inline const QColor Yellow(255, 255, 0);
inline const QColor Red(255, 0, 0);
