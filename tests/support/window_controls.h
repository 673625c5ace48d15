#pragma once

#include "workflow/form1.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QString>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTest>

// The window's controls by their member names ("txtReg3" for the fourth value box); null
// for a name the window does not have.
inline QWidget *control(Form1 &f, const QString &name)
{
    const QMap<QString, QWidget *> byName{{"txtIP", f.txtIP},
                                          {"cmdConnect", f.cmdConnect},
                                          {"cmdDisconnect", f.cmdDisconnect},
                                          {"txtStartReg", f.txtStartReg},
                                          {"Label1", f.Label1},
                                          {"txtLengthReg", f.txtLengthReg},
                                          {"Label2", f.Label2},
                                          {"Frame1", f.Frame1},
                                          {"Label3", f.Label3},
                                          {"cmdRead", f.cmdRead},
                                          {"cmdWrite", f.cmdWrite},
                                          {"lblStatus", f.lblStatus},
                                          {"cmdRealtime", f.cmdRealtime},
                                          {"cboReg", f.cboReg},
                                          {"Label4", f.Label4}};
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
    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
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
    // clang-format on
}

// The room a text box leaves for its text: the style's contents rectangle less the line
// edit's own margins.
inline QRect lineEditTextRoom(QLineEdit *e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    opt.midLineWidth = 0;
    opt.state |= QStyle::State_Sunken;
    const QMargins m = e->textMargins();
    return e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e).marginsRemoved(m).adjusted(2, 1, -2, -1);
}

// The room a button leaves for its caption: inside its bevel, less the style's margin.
inline QRect buttonTextRoom(QPushButton *b)
{
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.rect = b->rect();
    const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, &opt, b);
    return b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).adjusted(margin / 2, 0, -margin / 2, 0);
}

// The room a control of the window leaves for its caption or text, in logical pixels.
inline QRect textRoom(Form1 &f, QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return lineEditTextRoom(e);
    if (auto *b = qobject_cast<QPushButton *>(w))
        return buttonTextRoom(b);
    if (auto *c = qobject_cast<QComboBox *>(w))
        return lineEditTextRoom(c->lineEdit());
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return QRect(0, 0, g->width() - 16, f.txtReg[0]->y()); // the title stays above the boxes
    if (w == f.Label4) // the selector covers the label's right end; the caption lives in what is left
        return QRect(0, 0, f.cboReg->x() - w->x(), w->height());
    return w->contentsRect();
}
