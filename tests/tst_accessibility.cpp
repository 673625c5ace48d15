// What a screen reader gets from the window: a spoken name for every control, the labels
// tied to their boxes, no keyboard access keys in the captions, and an event whenever the
// status line says something new; and the status text is readable on light and dark desktops.

#include "window_controls.h"
#include "window_rig.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <cmath>

#include <QtGui/private/qguiapplication_p.h>
#include <QtGui/qpa/qplatformaccessibility.h>
#include <QtGui/qpa/qplatformintegration.h>

namespace {

struct SeenEvent {
    QObject *object;
    QAccessible::Event type;
};
QList<SeenEvent> seenEvents;

void recordEvent(QAccessibleEvent *event) { seenEvents.append({event->object(), event->type()}); }

int eventsFor(QObject *object, QAccessible::Event type)
{
    return int(std::count_if(seenEvents.begin(), seenEvents.end(),
                             [&](const SeenEvent &e) { return e.object == object && e.type == type; }));
}

QString accessibleText(QWidget *w, QAccessible::Text t)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(t) : QStringLiteral("<no accessible interface>");
}

// The spoken name of the label a reader finds through the control's Label relation.
QString labelOf(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    if (!iface)
        return QStringLiteral("<no accessible interface>");
    const auto labels = iface->relations(QAccessible::Label);
    return labels.size() == 1 ? labels.first().first->text(QAccessible::Name)
                              : QStringLiteral("<%1 labels>").arg(labels.size());
}

// WCAG's contrast of two colours, from 1 (the same) to 21 (black on white).
double contrast(QColor a, QColor b)
{
    auto luminance = [](QColor c) {
        auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text a widget draws: its background is the commonest pixel, its text
// the pixel that stands out most from that.
double drawnContrast(QWidget *w)
{
    const QImage shot = w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> count;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            ++count[shot.pixel(x, y)];
    const QRgb background = std::max_element(count.begin(), count.end()).key();
    double most = 1;
    for (auto it = count.begin(); it != count.end(); ++it)
        most = std::max(most, contrast(QColor(it.key()), QColor(background)));
    return most;
}

} // namespace

class AccessibilityTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init() { seenEvents.clear(); }

    void names_data();
    void names();
    void monitoringButtonSaysWhatAPressDoes();
    void everyControlIsNamed();
    void labelsAreBuddies_data();
    void labelsAreBuddies();
    void noAccessKeys();
    void statusChangeAnnounced_data();
    void statusChangeAnnounced();
    void sameStatusNotRepeated();
    void failedConnectAnnounced();
    void statusReadable_data();
    void statusReadable();
};

void AccessibilityTest::initTestCase()
{
    // Accessibility is switched on when an assistive technology connects; the test stands
    // in for one, so that events are delivered (to the handler) at all.
    QAccessible::installUpdateHandler(recordEvent);
    QPlatformIntegration *platform = QGuiApplicationPrivate::platformIntegration();
    QVERIFY(platform && platform->accessibility());
    platform->accessibility()->setActive(true);
    QVERIFY(QAccessible::isActive());
}

void AccessibilityTest::names_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
    QTest::newRow("address box") << "txtIP" << "IP address";
    QTest::newRow("start box") << "txtStartReg" << "Start address";
    QTest::newRow("length box") << "txtLengthReg" << "Length";
    QTest::newRow("table selector") << "cboReg" << "Table";
    QTest::newRow("status line") << "lblStatus" << "Status";
    QTest::newRow("connect") << "cmdConnect" << "Connect";
    QTest::newRow("disconnect") << "cmdDisconnect" << "Disconnect";
    QTest::newRow("read") << "cmdRead" << "Read";
    QTest::newRow("write") << "cmdWrite" << "Write";
    QTest::newRow("monitoring") << "cmdRealtime" << "Realtime Monitoring ON";
    QTest::newRow("frame") << "Frame1" << "Data";
    // clang-format on
    for (int k = 0; k < 16; ++k)
        QTest::addRow("value box %d", k) << QStringLiteral("txtReg%1").arg(k) << QStringLiteral("Value %1").arg(k);
}

void AccessibilityTest::names()
{
    QFETCH(QString, control);
    QFETCH(QString, name);
    WindowRig rig;
    QWidget *w = ::control(rig.form, control);
    QVERIFY(w);
    if (qobject_cast<QComboBox *>(w)) {
        // Qt on Linux gives a combo box its current text as name and lets readers take the
        // name from the label pointing at it; elsewhere it uses the widget's own name.
        QCOMPARE(w->accessibleName(), name);
        QCOMPARE(labelOf(w), name);
        return;
    }
    QCOMPARE(accessibleText(w, QAccessible::Name), name);
}

void AccessibilityTest::monitoringButtonSaysWhatAPressDoes()
{
    WindowRig rig;
    rig.form.cmdRealtime->click();
    QCOMPARE(accessibleText(rig.form.cmdRealtime, QAccessible::Name), QStringLiteral("Realtime Monitoring OFF"));
    rig.form.cmdRealtime->click();
    QCOMPARE(accessibleText(rig.form.cmdRealtime, QAccessible::Name), QStringLiteral("Realtime Monitoring ON"));
}

void AccessibilityTest::everyControlIsNamed()
{
    // Whatever can take the focus, and the status line, has a name a reader can speak.
    WindowRig rig;
    QList<QWidget *> controls{rig.form.lblStatus};
    for (QWidget *w : rig.form.findChildren<QWidget *>()) {
        const bool own = w->parentWidget() == &rig.form || w->parentWidget() == rig.form.Frame1;
        if (own && w->focusPolicy() != Qt::NoFocus)
            controls.append(w);
    }
    QCOMPARE(controls.size(), 1 + 5 + 3 + 16 + 1); // status, buttons, boxes, values, table
    for (QWidget *w : controls)
        QVERIFY2(!accessibleText(w, QAccessible::Name).trimmed().isEmpty(), w->metaObject()->className());
}

void AccessibilityTest::labelsAreBuddies_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("box");
    // clang-format off
    QTest::newRow("IP Address:") << "Label3" << "txtIP";
    QTest::newRow("Start Address:") << "Label1" << "txtStartReg";
    QTest::newRow("Length:") << "Label2" << "txtLengthReg";
    QTest::newRow("Select:") << "Label4" << "cboReg";
    // clang-format on
}

void AccessibilityTest::labelsAreBuddies()
{
    QFETCH(QString, label);
    QFETCH(QString, box);
    WindowRig rig;
    auto *l = qobject_cast<QLabel *>(control(rig.form, label));
    QWidget *b = control(rig.form, box);
    QVERIFY(l && b);
    QCOMPARE(l->buddy(), b);

    // Readers find the label through the box's relations.
    QAccessibleInterface *boxIface = QAccessible::queryAccessibleInterface(b);
    QAccessibleInterface *labelIface = QAccessible::queryAccessibleInterface(l);
    QVERIFY(boxIface && labelIface);
    bool labelled = false;
    for (const auto &relation : boxIface->relations(QAccessible::Label))
        labelled = labelled || relation.first->object() == l;
    QVERIFY2(labelled, "the label is not among the box's Label relations");
}

void AccessibilityTest::noAccessKeys()
{
    WindowRig rig;
    for (QWidget *w : rig.form.findChildren<QWidget *>()) {
        QString caption;
        // A combo box's accelerator is the key that opens its list, not an access key.
        const bool checkAccelerator = !qobject_cast<QComboBox *>(w);
        if (auto *b = qobject_cast<QPushButton *>(w))
            caption = b->text();
        else if (auto *l = qobject_cast<QLabel *>(w))
            caption = l->text();
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            caption = g->title();
        QVERIFY2(!caption.contains(QLatin1Char('&')), qPrintable(caption));
        QVERIFY2(!checkAccelerator || accessibleText(w, QAccessible::Accelerator).isEmpty(),
                 qPrintable(
                     QStringLiteral("%1 \"%2\" has the access key %3")
                         .arg(w->metaObject()->className(), caption, accessibleText(w, QAccessible::Accelerator))));
    }
}

void AccessibilityTest::statusChangeAnnounced_data()
{
    QTest::addColumn<StatusLine>("status");
    QTest::newRow("connected") << connectedStatus();
    QTest::newRow("disconnected") << disconnectedStatus();
    QTest::newRow("time out") << timeOutStatus();
    QTest::newRow("connection lost") << connectionLostStatus();
    QTest::newRow("registers read") << StatusLine{msg::RegistersRead, StatusColour::Green};
    QTest::newRow("write refused") << StatusLine{msg::ErrorWriting, StatusColour::Yellow};
}

void AccessibilityTest::statusChangeAnnounced()
{
    QFETCH(StatusLine, status);
    WindowRig rig;
    QVERIFY(rig.shown());
    QLabel *line = rig.form.lblStatus;
    seenEvents.clear();

    rig.form.setStatus(status);
    QCOMPARE(eventsFor(line, QAccessible::DescriptionChanged), 1);
    QCOMPARE(accessibleText(line, QAccessible::Name), QStringLiteral("Status"));
    QCOMPARE(accessibleText(line, QAccessible::Description), status.text);

    // Orca speaks a notification that appears, wherever the focus is; it appears once the
    // handler is done, so that a move of the focus does not cut it short.
    auto shown = [] {
        return std::find_if(seenEvents.begin(), seenEvents.end(),
                            [](const SeenEvent &e) { return e.type == QAccessible::ObjectShow; });
    };
    QVERIFY(shown() == seenEvents.end());
    QTRY_VERIFY(shown() != seenEvents.end());
    QAccessibleInterface *notice = QAccessible::queryAccessibleInterface(shown()->object);
    QCOMPARE(notice->role(), QAccessible::Notification);
    QCOMPARE(notice->text(QAccessible::Name), status.text);
    QCOMPARE(notice->parent()->object(), line);
}

void AccessibilityTest::sameStatusNotRepeated()
{
    // Monitoring reports "Registers read" every second; a reader should hear it once, and
    // again only after something else was said.
    WindowRig rig;
    const StatusLine read{msg::RegistersRead, StatusColour::Green};
    rig.form.setStatus(read);
    rig.form.setStatus(read);
    rig.form.setStatus(read);
    QCOMPARE(eventsFor(rig.form.lblStatus, QAccessible::DescriptionChanged), 1);
    rig.form.setStatus(timeOutStatus());
    rig.form.setStatus(read);
    QCOMPARE(eventsFor(rig.form.lblStatus, QAccessible::DescriptionChanged), 3);
}

void AccessibilityTest::failedConnectAnnounced()
{
    // Through the real handler: a refused connection on loopback.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const QString address = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
    probe.close(); // nothing listens there now

    WindowRig rig;
    seenEvents.clear();
    QVERIFY(!rig.connectTo(address));
    QCOMPARE(rig.status(), msg::CantConnectTo + address);
    QCOMPARE(accessibleText(rig.form.lblStatus, QAccessible::Description), msg::CantConnectTo + address);
    QCOMPARE(eventsFor(rig.form.lblStatus, QAccessible::DescriptionChanged), 1);
}

void AccessibilityTest::statusReadable_data()
{
    QTest::addColumn<bool>("dark");
    QTest::addColumn<StatusLine>("status");
    for (const bool dark : {false, true}) {
        const char *desktop = dark ? "dark" : "light";
        QTest::addRow("%s, green", desktop) << dark << connectedStatus();
        QTest::addRow("%s, yellow", desktop) << dark << timeOutStatus();
        QTest::addRow("%s, red", desktop) << dark << connectionLostStatus();
        QTest::addRow("%s, normal background", desktop) << dark << StatusLine{msg::Connected, StatusColour::Normal};
    }
}

void AccessibilityTest::statusReadable()
{
    QFETCH(bool, dark);
    QFETCH(StatusLine, status);
    const QPalette light = QApplication::palette();
    const QColor darkGrey(0x31, 0x36, 0x3b); // Breeze Dark's; the palette's text is then white
    QApplication::setPalette(dark ? QPalette(darkGrey, darkGrey) : light);
    WindowRig rig;
    rig.form.setStatus(status);
    const double drawn = drawnContrast(rig.form.lblStatus);
    QApplication::setPalette(light);
    QVERIFY2(drawn >= 4.5, qPrintable(QStringLiteral("contrast %1 : 1").arg(drawn)));
}

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
