#pragma once

#include "fake_services.h"
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

    WindowRig() : WindowRig(std::make_unique<RecordingServices>()) {}

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
    explicit WindowRig(std::unique_ptr<RecordingServices> s) : services(s.get()), form(std::move(s)) {}
};

inline const QColor Green(0, 255, 0);
inline const QColor Yellow(255, 255, 0);
inline const QColor Red(255, 0, 0);

// "00 06 01" -> bytes; blanks are only for the reader.
inline QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

inline QByteArray bufSendBytes(const FormState &s)
{
    return QByteArray(reinterpret_cast<const char *>(s.bufSend.data()), int(s.bufSend.size()));
}
