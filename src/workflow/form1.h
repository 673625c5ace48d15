#pragma once

#include "exchange/exchange.h"
#include "exchange/form_controls.h"
#include "platform/qt_timers.h"
#include "platform/socket_control.h"
#include "platform/window_services.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The tool's one window: its controls, the handlers behind them and the Modbus exchange.
// The handlers are spread over files by purpose: window_layout.cpp builds the controls,
// commands.cpp holds the read, write, table and monitoring handlers, connection_control.cpp
// connecting and disconnecting, box_contents.cpp how the value boxes show what they hold, accessibility.cpp
// what screen readers hear.
class Form1 : public QWidget, public FormControls
{
    Q_OBJECT
    // Declared first: the socket reference and the exchange below are built from them.
    std::unique_ptr<WindowServices> m_services;
    std::unique_ptr<SocketControl> m_ownSocket;

public:
    // services and socket stand in for the toolkit's and the network's in tests; by default
    // the window uses real message boxes and a real TCP socket.
    explicit Form1(std::unique_ptr<WindowServices> services = nullptr, SocketControl *socket = nullptr,
                   QWidget *parent = nullptr);
    ~Form1() override;

    // Controls, named as the operator's handlers know them.
    QLineEdit *txtIP = nullptr;
    QPushButton *cmdConnect = nullptr;
    QPushButton *cmdDisconnect = nullptr;
    QLineEdit *txtStartReg = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtLengthReg = nullptr;
    QLabel *Label2 = nullptr;
    QGroupBox *Frame1 = nullptr;
    std::array<QLineEdit *, BoxCount> txtReg{};
    QLabel *Label3 = nullptr;
    QPushButton *cmdRead = nullptr;
    QPushButton *cmdWrite = nullptr;
    QLabel *lblStatus = nullptr;
    QPushButton *cmdRealtime = nullptr;
    QComboBox *cboReg = nullptr;
    QLabel *Label4 = nullptr;

    SocketControl &Winsock1;
    QtTicker TimerRead;
    QtAlarm TimerTO;

    ModbusExchange &exchange() { return m_exchange; }

    // Handlers.
    void cmdConnect_Click();
    void cmdDisconnect_Click();
    void cmdRead_Click();
    void cmdWrite_Click();
    void cmdRealtime_Click();
    void cboReg_Click();
    void TimerRead_Timer();
    void TimerTO_Timer();

    // FormControls
    QString startText() const override;
    QString lengthText() const override;
    QString boxText(int index) const override;
    void showBox(int index, const QString &text, bool typed) override;
    void setStatus(const StatusLine &status) override;
    void refusing(Asker asker) override;
    void showFrames(const QByteArray &request, const QByteArray &reply, double roundTripMs) override;

    static constexpr int ClientWidth = 432;
    static constexpr int ClientHeight = 367;

private:
    void buildControls();
    void connectHandlers();
    // Runs the window's events until done() holds, checked at each change of the socket's
    // state, or the window's clock says that seconds have passed.
    void waitUntil(const std::function<bool()> &done, double seconds);
    void connectionLost();
    // Reads the table the selector names, for the operator or for monitoring.
    void readSelected(Asker asker);
    // Monitoring ends, by its button or otherwise: the caption offers to start it again.
    void stopMonitoring();
    // accessibility.cpp: names for screen readers, label buddies, the status announcement.
    void describeControls();
    void announceStatus();
    // box_contents.cpp: the value boxes as the exchange decides them, and their tooltips.
    void connectValueBoxes();

    ModbusExchange m_exchange;
};
