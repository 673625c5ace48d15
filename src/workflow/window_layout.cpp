// The window's arrangement: every control at a fixed pixel rectangle of a 432 x 367 client
// area (96-dpi pixels; Qt's high-DPI scaling enlarges the whole window on denser screens).
// The layout does not follow the window's size.

#include "app_icon.h"
#include "form1.h"
#include "return_key.h"

#include "exchange/tables.h"
#include "exchange/texts.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

template <typename W>
W *place(QWidget *parent, const QString &text, int x, int y, int w, int h)
{
    auto *widget = new W(text, parent);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QLineEdit *textBox(QWidget *parent, const QString &text, int x, int y)
{
    auto *box = new QLineEdit(text, parent);
    box->setGeometry(x, y, 81, 19);
    // No limit of our own on what the operator may type (Qt's default is 32767 characters).
    box->setMaxLength(std::numeric_limits<int>::max());
    return box;
}

// Room a control leaves for its text: the frame and margins of buttons and boxes, the
// arrow of the selector.
int textRoom(QWidget *w)
{
    if (qobject_cast<QPushButton *>(w))
        return w->width() - 12;
    if (qobject_cast<QLineEdit *>(w))
        return w->width() - 8;
    if (qobject_cast<QComboBox *>(w))
        return w->width() - 28;
    return w->width();
}

// How far the font must shrink for every caption to fit its box: 1 when all fit.
qreal shrinkNeeded(const QFont &font, const QList<QPair<QWidget *, QString>> &captions)
{
    const QFontMetricsF fm(font);
    qreal shrink = 1;
    for (const auto &[widget, text] : captions) {
        shrink = std::min(shrink, textRoom(widget) / std::max<qreal>(fm.horizontalAdvance(text), 1));
        shrink = std::min(shrink, widget->height() / fm.height());
    }
    return shrink;
}

// Every caption and initial text must fit its box on one line: take the largest font size,
// up to the desktop's own, at which they all do. Text width grows about in proportion to
// the size, so one measurement gives the size and a second confirms it.
void fitFont(QWidget *window, const QList<QPair<QWidget *, QString>> &captions)
{
    QFont font = window->font();
    qreal size = font.pointSizeF() > 0 ? font.pointSizeF() : 9;
    font.setPointSizeF(size);
    const qreal shrink = shrinkNeeded(font, captions);
    if (shrink < 1) {
        size = std::max<qreal>(6, std::floor(size * shrink * 2) / 2);
        font.setPointSizeF(size);
        while (size > 6 && shrinkNeeded(font, captions) < 1)
            font.setPointSizeF(size -= 0.5);
    }
    window->setFont(font);
}

} // namespace

void Form1::buildControls()
{
    setWindowTitle(ProgramTitle);
    setWindowIcon(appIcon());
    setFixedSize(ClientWidth, ClientHeight);

    // The tab order is set explicitly once every control exists (below), so it does not
    // hang on the order of creation here; the labels and the frame never take the focus.
    txtIP = textBox(this, QStringLiteral("127.0.0.1"), 16, 40);
    txtIP->resize(169, 19);
    cmdConnect = place<QPushButton>(this, QStringLiteral("Connect"), 16, 72, 81, 33);
    cmdDisconnect = place<QPushButton>(this, QStringLiteral("Disconnect"), 104, 72, 81, 33);
    cmdDisconnect->setEnabled(false);
    txtStartReg = textBox(this, QStringLiteral("0"), 104, 128);
    Label1 = place<QLabel>(this, QStringLiteral("Start Address:"), 16, 128, 73, 17);
    txtLengthReg = textBox(this, QStringLiteral("16"), 104, 152);
    Label2 = place<QLabel>(this, QStringLiteral("Length:"), 16, 152, 73, 17);
    Frame1 = place<QGroupBox>(this, QStringLiteral("Data"), 208, 72, 209, 233);
    for (int k = 0; k < BoxCount; ++k)
        txtReg[k] = textBox(Frame1, QString(), k < 8 ? 16 : 104, 24 + 24 * (k % 8));
    Label3 = place<QLabel>(this, QStringLiteral("IP Address:"), 16, 16, 73, 17);
    cmdRead = place<QPushButton>(this, QStringLiteral("Read"), 16, 200, 81, 33);
    cmdWrite = place<QPushButton>(this, QStringLiteral("Write"), 104, 200, 81, 33);
    lblStatus = place<QLabel>(this, QString(), 16, 344, 401, 17);
    lblStatus->setAutoFillBackground(true);
    cmdRealtime = place<QPushButton>(this, caption::MonitoringOn, 16, 248, 169, 33);
    cboReg = new QComboBox(this);
    cboReg->setEditable(true);
    cboReg->setInsertPolicy(QComboBox::NoInsert); // typed text never joins the list
    for (const TableInfo *t : table::All)
        cboReg->addItem(t->name.toString());
    cboReg->setCurrentIndex(0);
    cboReg->setGeometry(264, 40, 153, 21);
    Label4 = place<QLabel>(this, QStringLiteral("Select:"), 208, 40, 73, 17);
    cboReg->raise(); // the selector covers the right end of its label

    for (QPushButton *b : {cmdConnect, cmdDisconnect, cmdRead, cmdWrite, cmdRealtime}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        returnPressesButton(b);
    }

    QList<QWidget *> order{txtIP, cmdConnect, cmdDisconnect, txtStartReg, txtLengthReg};
    for (QLineEdit *box : txtReg)
        order.append(box);
    order << cmdRead << cmdWrite << cmdRealtime << cboReg;
    for (int i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);

    QList<QPair<QWidget *, QString>> captions{{txtIP, txtIP->text()},
                                              {cmdConnect, cmdConnect->text()},
                                              {cmdDisconnect, cmdDisconnect->text()},
                                              {txtStartReg, txtStartReg->text()},
                                              {txtLengthReg, txtLengthReg->text()},
                                              {cmdRead, cmdRead->text()},
                                              {cmdWrite, cmdWrite->text()},
                                              {cmdRealtime, caption::MonitoringOn},
                                              {cmdRealtime, caption::MonitoringOff},
                                              {Label1, Label1->text()},
                                              {Label2, Label2->text()},
                                              {Label3, Label3->text()},
                                              {Label4, Label4->text()}};
    for (int i = 0; i < cboReg->count(); ++i)
        captions.append({cboReg, cboReg->itemText(i)});
    fitFont(this, captions);

    txtIP->setFocus();
}
