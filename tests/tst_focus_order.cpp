// The keyboard focus: where it starts, the order in which Tab and Shift+Tab move it,
// passing over Disconnect while it is disabled and over Connect once connected, and what
// Return does where the focus is.

#include "window_controls.h"
#include "window_rig.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTest>

namespace {

QString describe(QWidget *w)
{
    if (!w)
        return QStringLiteral("nothing");
    QString text;
    if (auto *e = qobject_cast<QLineEdit *>(w))
        text = e->text();
    else if (auto *b = qobject_cast<QPushButton *>(w))
        text = b->text();
    else if (auto *c = qobject_cast<QComboBox *>(w))
        text = c->currentText();
    return QStringLiteral("%1 (%2)").arg(w->metaObject()->className(), text);
}

} // namespace

class FocusOrderTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void focusOrder_data();
    void focusOrder();
    void focusStartsInAddressBox();
    void returnPressesOnlyAFocusedButton_data();
    void returnPressesOnlyAFocusedButton();
};

void FocusOrderTest::focusOrder_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("backward");
    QTest::newRow("disconnect disabled, forward") << false << false;
    QTest::newRow("disconnect disabled, backward") << false << true;
    QTest::newRow("disconnect enabled, forward") << true << false;
    QTest::newRow("disconnect enabled, backward") << true << true;
}

void FocusOrderTest::focusOrder()
{
    QFETCH(bool, connected);
    QFETCH(bool, backward);

    WindowRig rig;
    Form1 &f = rig.form;
    f.cmdConnect->setEnabled(!connected);
    f.cmdDisconnect->setEnabled(connected);

    QList<QWidget *> expected{f.txtIP, connected ? f.cmdDisconnect : f.cmdConnect, f.txtStartReg, f.txtLengthReg};
    for (QLineEdit *box : f.txtReg)
        expected.append(box);
    expected << f.cmdRead << f.cmdWrite << f.cmdRealtime << f.cboReg;
    if (backward)
        std::reverse(expected.begin() + 1, expected.end()); // from txtIP back to cboReg and on
    expected.append(f.txtIP);

    f.show();
    QApplication::setActiveWindow(&f);
    QVERIFY(QTest::qWaitForWindowActive(&f));
    f.txtIP->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), f.txtIP);

    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), backward ? Qt::Key_Backtab : Qt::Key_Tab,
                        backward ? Qt::ShiftModifier : Qt::NoModifier);
        QWidget *now = QApplication::focusWidget();
        // The editable selector keeps the focus on itself or on its line edit.
        const bool inSelector = expected[i] == f.cboReg && now && (now == f.cboReg || f.cboReg->isAncestorOf(now));
        QVERIFY2(now == expected[i] || inSelector, qPrintable(QStringLiteral("step %1: focus on %2, expected %3")
                                                                  .arg(i)
                                                                  .arg(describe(now), describe(expected[i]))));
    }
}

void FocusOrderTest::focusStartsInAddressBox()
{
    WindowRig rig;
    rig.form.show();
    QApplication::setActiveWindow(&rig.form);
    QVERIFY(QTest::qWaitForWindowActive(&rig.form));
    QTRY_COMPARE(QApplication::focusWidget(), rig.form.txtIP);
}

void FocusOrderTest::returnPressesOnlyAFocusedButton_data()
{
    QTest::addColumn<QString>("focused");
    QTest::addColumn<int>("key");
    QTest::newRow("Read, Return") << "cmdRead" << int(Qt::Key_Return);
    QTest::newRow("monitoring, keypad Enter") << "cmdRealtime" << int(Qt::Key_Enter);
    QTest::newRow("address box, Return") << "txtIP" << int(Qt::Key_Return);
    QTest::newRow("value box, keypad Enter") << "txtReg3" << int(Qt::Key_Enter);
    QTest::newRow("table selector, Return") << "cboReg" << int(Qt::Key_Return);
}

void FocusOrderTest::returnPressesOnlyAFocusedButton()
{
    QFETCH(QString, focused);
    QFETCH(int, key);
    WindowRig rig;
    rig.form.show();
    QApplication::setActiveWindow(&rig.form);
    QVERIFY(QTest::qWaitForWindowActive(&rig.form));
    QList<QObject *> pressed;
    for (QPushButton *b : rig.form.findChildren<QPushButton *>())
        connect(b, &QPushButton::clicked, this, [&pressed, b] { pressed.append(b); });

    QWidget *w = control(rig.form, focused);
    w->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    // A focused button is pressed once; anywhere else nothing is.
    QCOMPARE(pressed, qobject_cast<QPushButton *>(w) ? QList<QObject *>{w} : QList<QObject *>{});
}

QTEST_MAIN(FocusOrderTest)
#include "tst_focus_order.moc"
