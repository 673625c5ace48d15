#pragma once

#include "workflow/form1.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QString>
#include <QTest>

// The window's controls by their member names ("txtReg3" for the fourth value box); null
// for a name the window does not have.
inline QWidget *control(Form1 &f, const QString &name)
{
    const QMap<QString, QWidget *> byName{
        {"txtIP", f.txtIP}, {"cmdConnect", f.cmdConnect}, {"cmdDisconnect", f.cmdDisconnect},
        {"txtStartReg", f.txtStartReg}, {"Label1", f.Label1}, {"txtLengthReg", f.txtLengthReg},
        {"Label2", f.Label2}, {"Frame1", f.Frame1}, {"Label3", f.Label3}, {"cmdRead", f.cmdRead},
        {"cmdWrite", f.cmdWrite}, {"lblStatus", f.lblStatus}, {"cmdRealtime", f.cmdRealtime},
        {"cboReg", f.cboReg}, {"Label4", f.Label4}};
    if (name.startsWith("txtReg"))
        return f.txtReg[name.mid(6).toInt()];
    return byName.value(name);
}

// Every caption and initial text the window can show, with the control that shows it, as
// the rows of a data-driven test; withFrame adds the title of the value boxes' frame.
inline void addCaptionRows(bool withFrame)
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::newRow("txtIP") << "txtIP" << "127.0.0.1";
    QTest::newRow("cmdConnect") << "cmdConnect" << "Connect";
    QTest::newRow("cmdDisconnect") << "cmdDisconnect" << "Disconnect";
    QTest::newRow("txtStartReg") << "txtStartReg" << "0";
    QTest::newRow("Label1") << "Label1" << "Start Address:";
    QTest::newRow("txtLengthReg") << "txtLengthReg" << "16";
    QTest::newRow("Label2") << "Label2" << "Length:";
    if (withFrame)
        QTest::newRow("Frame1") << "Frame1" << "Data";
    QTest::newRow("Label3") << "Label3" << "IP Address:";
    QTest::newRow("cmdRead") << "cmdRead" << "Read";
    QTest::newRow("cmdWrite") << "cmdWrite" << "Write";
    QTest::newRow("cmdRealtime ON") << "cmdRealtime" << "Realtime Monitoring ON";
    QTest::newRow("cmdRealtime OFF") << "cmdRealtime" << "Realtime Monitoring OFF";
    QTest::newRow("cboReg Holding Registers") << "cboReg" << "Holding Registers";
    QTest::newRow("cboReg Coil Outputs") << "cboReg" << "Coil Outputs";
    QTest::newRow("cboReg Digital Inputs") << "cboReg" << "Digital Inputs";
    QTest::newRow("Label4") << "Label4" << "Select:";
}
