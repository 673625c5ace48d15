// The Read and Write buttons, the table selector, one-second monitoring and the reply
// timeout's alarm. The table is chosen by the exact text of the selector, which the operator may
// also type: anything but the four table names does nothing.

#include "form1.h"

#include "exchange/tables.h"
#include "exchange/texts.h"

#include <QComboBox>
#include <QPushButton>

void Form1::cmdRead_Click() { readSelected(Asker::Operator); }

void Form1::readSelected(Asker asker)
{
    if (const TableInfo *t = table::named(cboReg->currentText()))
        m_exchange.read(*t, asker);
}

void Form1::cmdWrite_Click()
{
    if (const TableInfo *t = table::named(cboReg->currentText()))
        m_exchange.write(*t);
}

void Form1::cboReg_Click()
{
    // Picking a table while connected reads it at once.
    if (!cmdConnect->isEnabled())
        cmdRead_Click();
}

void Form1::cmdRealtime_Click()
{
    m_exchange.operatorActed();
    // The caption names what a click does: "ON" while monitoring is off.
    if (cmdRealtime->text() == caption::MonitoringOn) {
        TimerRead.start();
        cmdRealtime->setText(caption::MonitoringOff);
    } else {
        stopMonitoring();
    }
}

void Form1::TimerRead_Timer()
{
    // While a refusal is on screen a tick neither sends nor opens another box.
    if (m_exchange.refusalOpen())
        return;
    // A text that names no table reads nothing, now or on any later tick: monitoring that
    // looks as if it ran would be a lie.
    if (!table::named(cboReg->currentText())) {
        stopMonitoring();
        return;
    }
    // One request in flight: a device that is slow or silent gets no second request until
    // it answers or its timeout is reported, after which the next tick tries again.
    if (m_exchange.awaitingReply())
        return;
    // Bytes the device's TCP has not acknowledged mean a link that is down: a new request
    // would only queue behind them and reach the device in a burst when the link returns.
    if (Winsock1.BytesUnacknowledged() > 0)
        return;
    readSelected(Asker::Monitoring);
}

void Form1::refusing(Asker asker)
{
    // A tick that is refused would be refused again every second, each time in a box of its
    // own: monitoring ends before the box opens, and the box is shown once.
    if (asker == Asker::Monitoring)
        stopMonitoring();
}

// Stops the ticker and offers, in the caption, to start it again.
void Form1::stopMonitoring()
{
    TimerRead.stop();
    cmdRealtime->setText(caption::MonitoringOn);
}

void Form1::TimerTO_Timer() { m_exchange.TimerTO_Timer(); }
