// The window as the operator first sees it: where every control stands, what it says,
// whether it is enabled, the selector's list, the icon and whether the texts fit their
// controls.

#include "window_controls.h"
#include "window_rig.h"
#include "workflow/app_icon.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <limits>

namespace {

QString shownText(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *b = qobject_cast<QPushButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    return QStringLiteral("<unknown kind>");
}

} // namespace

class WindowLayoutTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controls_data();
    void controls();
    void valueBoxes_data();
    void valueBoxes();
    void window();
    void layoutIgnoresResizing();
    void tableSelector();
    void typedTableStaysOutOfList_data();
    void typedTableStaysOutOfList();
    void icon();
    void captionsFit_data();
    void captionsFit();
};

void WindowLayoutTest::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("txtIP") << "txtIP" << QRect(16, 40, 169, 19) << "127.0.0.1" << true;
    QTest::newRow("cmdConnect") << "cmdConnect" << QRect(16, 72, 81, 33) << "Connect" << true;
    QTest::newRow("cmdDisconnect") << "cmdDisconnect" << QRect(104, 72, 81, 33) << "Disconnect" << false;
    QTest::newRow("txtStartReg") << "txtStartReg" << QRect(104, 128, 81, 19) << "0" << true;
    QTest::newRow("Label1") << "Label1" << QRect(16, 128, 73, 17) << "Start Address:" << true;
    QTest::newRow("txtLengthReg") << "txtLengthReg" << QRect(104, 152, 81, 19) << "16" << true;
    QTest::newRow("Label2") << "Label2" << QRect(16, 152, 73, 17) << "Length:" << true;
    QTest::newRow("Frame1") << "Frame1" << QRect(208, 72, 209, 233) << "Data" << true;
    QTest::newRow("Label3") << "Label3" << QRect(16, 16, 73, 17) << "IP Address:" << true;
    QTest::newRow("cmdRead") << "cmdRead" << QRect(16, 200, 81, 33) << "Read" << true;
    QTest::newRow("cmdWrite") << "cmdWrite" << QRect(104, 200, 81, 33) << "Write" << true;
    QTest::newRow("lblStatus") << "lblStatus" << QRect(16, 344, 401, 17) << "" << true;
    QTest::newRow("cmdRealtime") << "cmdRealtime" << QRect(16, 248, 169, 33) << "Realtime Monitoring ON" << true;
    QTest::newRow("cboReg") << "cboReg" << QRect(264, 40, 153, 21) << "Holding Registers" << true;
    QTest::newRow("Label4") << "Label4" << QRect(208, 40, 73, 17) << "Select:" << true;
}

void WindowLayoutTest::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(bool, enabled);

    WindowRig rig;
    QWidget *w = control(rig.form, name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget(), &rig.form);
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(shownText(w), text);
    QCOMPARE(w->isEnabled(), enabled);
    QVERIFY(!w->isHidden());
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        QCOMPARE(e->echoMode(), QLineEdit::Normal);
        QVERIFY(!e->isReadOnly());
        QCOMPARE(e->maxLength(), std::numeric_limits<int>::max()); // no limit of our own
    }
    if (auto *b = qobject_cast<QPushButton *>(w)) {
        // Enter and Escape belong to no button.
        QVERIFY(!b->isDefault());
        QVERIFY(!b->autoDefault());
        QVERIFY(!b->text().contains('&'));
    }
    if (auto *l = qobject_cast<QLabel *>(w)) {
        QCOMPARE(l->frameShape(), QFrame::NoFrame);
        QVERIFY(l->alignment() & Qt::AlignLeft);
        QVERIFY(!l->wordWrap());
    }
}

void WindowLayoutTest::valueBoxes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QRect>("inFrame");
    QTest::addColumn<QPoint>("inWindow");
    for (int k = 0; k < 16; ++k) {
        const int left = k < 8 ? 16 : 104;
        const int top = 24 + 24 * (k % 8);
        QTest::addRow("txtReg(%d)", k) << k << QRect(left, top, 81, 19) << QPoint(k < 8 ? 224 : 312, 96 + 24 * (k % 8));
    }
}

void WindowLayoutTest::valueBoxes()
{
    QFETCH(int, index);
    QFETCH(QRect, inFrame);
    QFETCH(QPoint, inWindow);

    WindowRig rig;
    QLineEdit *box = rig.form.txtReg[index];
    QVERIFY(box);
    QCOMPARE(box->parentWidget(), rig.form.Frame1);
    QCOMPARE(box->geometry(), inFrame);
    QCOMPARE(box->mapTo(&rig.form, QPoint(0, 0)), inWindow);
    QCOMPARE(box->text(), QString());
    QVERIFY(box->isEnabled());
    QVERIFY(!box->isReadOnly());
}

void WindowLayoutTest::window()
{
    WindowRig rig;
    QCOMPARE(rig.form.windowTitle(), QStringLiteral("Modbus TCP"));
    QCOMPARE(rig.form.size(), QSize(432, 367));
    QCOMPARE(rig.form.minimumSize(), QSize(432, 367));
    QCOMPARE(rig.form.maximumSize(), QSize(432, 367));
    QCOMPARE(rig.form.lblStatus->palette().color(QPalette::Window), rig.form.palette().color(QPalette::Window));
    QVERIFY(!rig.form.TimerRead.isRunning());
    QVERIFY(!rig.form.TimerTO.isRunning());
    QCOMPARE(rig.form.Winsock1.State(), qint16(SocketControl::Closed));
    QCOMPARE(rig.form.Winsock1.RemotePort, quint16(502));
    QVERIFY(rig.form.Winsock1.RemoteHost.isEmpty());
}

void WindowLayoutTest::layoutIgnoresResizing()
{
    WindowRig rig;
    QVERIFY(rig.shown());
    QList<QRect> before;
    const auto children = rig.form.findChildren<QWidget *>();
    for (QWidget *w : children)
        before.append(w->geometry());

    rig.form.resize(800, 600);
    QTest::qWait(20);
    QCOMPARE(rig.form.size(), QSize(432, 367));
    rig.form.setMinimumSize(0, 0);
    rig.form.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    rig.form.resize(800, 600);
    QTest::qWait(20);
    for (int i = 0; i < children.size(); ++i)
        QCOMPARE(children[i]->geometry(), before[i]);
}

void WindowLayoutTest::tableSelector()
{
    WindowRig rig;
    QComboBox *c = rig.form.cboReg;
    QVERIFY(c->isEditable());
    QCOMPARE(c->count(), 4);
    QCOMPARE(c->itemText(0), QStringLiteral("Holding Registers"));
    QCOMPARE(c->itemText(1), QStringLiteral("Coil Outputs"));
    QCOMPARE(c->itemText(2), QStringLiteral("Digital Inputs"));
    QCOMPARE(c->itemText(3), QStringLiteral("Input Registers"));
    QCOMPARE(c->currentIndex(), 0);
    QCOMPARE(c->currentText(), QStringLiteral("Holding Registers"));
    // The selector stands in front of the right end of its label.
    QVERIFY(rig.form.children().indexOf(c) > rig.form.children().indexOf(rig.form.Label4));
    QWidget *onTop = rig.form.childAt(QPoint(275, 45)); // inside both rectangles
    QVERIFY(onTop == c || c->isAncestorOf(onTop));
}

void WindowLayoutTest::typedTableStaysOutOfList_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("enter");
    QTest::newRow("another table, Enter") << "Analog Inputs" << true;
    QTest::newRow("a table name in lower case, Enter") << "holding registers" << true;
    QTest::newRow("a table name in lower case") << "coil outputs" << false;
    QTest::newRow("a table name with a trailing blank, Enter") << "Digital Inputs " << true;
    QTest::newRow("the start of a table name") << "Coil" << false;
    QTest::newRow("the start of a table name, Enter") << "Dig" << true;
    QTest::newRow("a table name as listed, Enter") << "Coil Outputs" << true;
}

void WindowLayoutTest::typedTableStaysOutOfList()
{
    QFETCH(QString, typed);
    QFETCH(bool, enter);

    WindowRig rig;
    rig.form.show();
    QApplication::setActiveWindow(&rig.form);
    QVERIFY(QTest::qWaitForWindowActive(&rig.form));
    QComboBox *c = rig.form.cboReg;
    QSignalSpy picked(c, &QComboBox::activated);
    c->setFocus();
    c->lineEdit()->selectAll();
    QTest::keyClicks(c, typed);
    if (enter)
        QTest::keyClick(c, Qt::Key_Return);
    rig.form.txtIP->setFocus(); // leaving the selector picks nothing either

    // Neither completed, nor corrected to a table name, nor added to the list.
    QCOMPARE(c->currentText(), typed);
    QCOMPARE(c->count(), 4);
    QCOMPARE(c->itemText(0), QStringLiteral("Holding Registers"));
    QCOMPARE(c->itemText(1), QStringLiteral("Coil Outputs"));
    QCOMPARE(c->itemText(2), QStringLiteral("Digital Inputs"));
    QCOMPARE(picked.count(), 0);
}

void WindowLayoutTest::icon()
{
    WindowRig rig;
    const QIcon windowIcon = rig.form.windowIcon();
    QVERIFY(!windowIcon.isNull());
    QVERIFY(windowIcon.availableSizes().contains(QSize(16, 16)));
    const QImage image = windowIcon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(16, 16));
    QCOMPARE(image, appIconImage().convertToFormat(QImage::Format_ARGB32)); // the program's icon is the same

    const QColor blue(0, 132, 255);
    const QColor white(237, 241, 245);
    QList<int> whiteRows;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const QColor c = image.pixelColor(x, y);
            QCOMPARE(c.alpha(), 255);
            QVERIFY2(c == blue || c == white,
                     qPrintable(QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(c.name())));
            const bool outer = x == 0 || y == 0 || x == 15 || y == 15;
            if (outer)
                QVERIFY2(c == blue, qPrintable(QStringLiteral("outer pixel %1,%2 is not blue").arg(x).arg(y)));
            if (c == white && !whiteRows.contains(y))
                whiteRows.append(y);
        }
    }
    // Letters over several middle rows, then one blue row, then the rule: one unbroken run.
    QVERIFY(whiteRows.size() >= 4);
    const int rule = whiteRows.last();
    QVERIFY(!whiteRows.contains(rule - 1));
    QVERIFY(whiteRows.contains(rule - 2));
    int first = -1, last = -1, count = 0;
    for (int x = 0; x < 16; ++x) {
        if (image.pixelColor(x, rule) == white) {
            if (first < 0)
                first = x;
            last = x;
            ++count;
        }
    }
    QVERIFY(count >= 3);
    QCOMPARE(count, last - first + 1);
    QVERIFY(whiteRows.first() >= 3 && rule <= 12);
}

void WindowLayoutTest::captionsFit_data() { addCaptionRows(true); }

void WindowLayoutTest::captionsFit()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    WindowRig rig;
    QVERIFY(rig.shown());
    QWidget *w = control(rig.form, name);
    QVERIFY(w);
    const QFontMetrics fm(w->font());
    const QRect room = textRoom(rig.form, w);

    QVERIFY2(fm.horizontalAdvance(text) <= room.width(), qPrintable(QStringLiteral("\"%1\" needs %2 px, %3 has %4")
                                                                        .arg(text)
                                                                        .arg(fm.horizontalAdvance(text))
                                                                        .arg(name)
                                                                        .arg(room.width())));
    // One line: the font's line height fits where the control draws its text.
    QVERIFY2(fm.height() <= room.height(),
             qPrintable(
                 QStringLiteral("a line is %1 px high, %2 has %3").arg(fm.height()).arg(name).arg(room.height())));
}

QTEST_MAIN(WindowLayoutTest)
#include "tst_window_layout.moc"
