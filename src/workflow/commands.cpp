// The Read and Write buttons, the table selector, one-second monitoring and the reply
// timeout. The table is chosen by the exact text of the selector, which the operator may
// also type: anything but the three table names does nothing.

#include "form1.h"

#include <QComboBox>
#include <QPushButton>

namespace {
const QString HoldingRegisters = QStringLiteral("Holding Registers");
const QString CoilOutputs = QStringLiteral("Coil Outputs");
const QString DigitalInputs = QStringLiteral("Digital Inputs");
const QString MonitoringOn = QStringLiteral("Realtime Monitoring ON");
const QString MonitoringOff = QStringLiteral("Realtime Monitoring OFF");
} // namespace

void Form1::cmdRead_Click()
{
    const QString table = cboReg->currentText();
    if (table == HoldingRegisters)
        m_exchange.ReadHolding();
    else if (table == CoilOutputs)
        m_exchange.ReadCoils();
    else if (table == DigitalInputs)
        m_exchange.ReadInputs();
}

void Form1::cmdWrite_Click()
{
    // Discrete inputs are read-only in Modbus: there is nothing to write.
    const QString table = cboReg->currentText();
    if (table == HoldingRegisters)
        m_exchange.WriteHolding();
    else if (table == CoilOutputs)
        m_exchange.WriteCoils();
}

void Form1::cboReg_Click()
{
    // Picking a table while connected reads it at once.
    if (!cmdConnect->isEnabled())
        cmdRead_Click();
}

void Form1::cmdRealtime_Click()
{
    // The caption names what a click does: "ON" while monitoring is off.
    if (cmdRealtime->text() == MonitoringOn) {
        TimerRead.start();
        cmdRealtime->setText(MonitoringOff);
    } else {
        TimerRead.stop();
        cmdRealtime->setText(MonitoringOn);
    }
}

void Form1::TimerRead_Timer()
{
    // While a refusal is on screen a tick neither sends nor opens another box: without this,
    // monitoring an unconnected device would stack a new modal box every second.
    if (m_exchange.refusalOpen())
        return;
    cmdRead_Click();
}

void Form1::TimerTO_Timer() { m_exchange.TimerTO_Timer(); }
