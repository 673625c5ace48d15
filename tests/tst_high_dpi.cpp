// The window on a dense screen: with a scale factor (QT_SCALE_FACTOR, set per CTest entry)
// it grows as a whole, and every caption and initial text still fits its control on one
// line, measured with the font at the size it is drawn in device pixels.

#include "window_controls.h"
#include "window_rig.h"

#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

namespace {

// The scale this process was started with; 1 without QT_SCALE_FACTOR.
qreal requestedScale()
{
    bool ok = false;
    const qreal s = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && s > 0 ? s : 1.0;
}

} // namespace

class HighDpiTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowScalesAsAWhole();
    void captionsFit_data();
    void captionsFit();
};

void HighDpiTest::windowScalesAsAWhole()
{
    const qreal scale = requestedScale();
    WindowRig rig;
    QVERIFY(rig.shown());

    QCOMPARE(rig.form.devicePixelRatioF(), scale);
    QCOMPARE(rig.form.size(), QSize(Form1::ClientWidth, Form1::ClientHeight));
    const QPixmap shot = rig.form.grab();
    QCOMPARE(shot.devicePixelRatio(), scale);
    QCOMPARE(shot.size(), QSize(qRound(Form1::ClientWidth * scale), qRound(Form1::ClientHeight * scale)));
    // Nothing is laid out anew: every control keeps its place in logical pixels.
    QCOMPARE(rig.form.cmdRealtime->geometry(), QRect(16, 248, 169, 33));
    QCOMPARE(rig.form.txtReg[15]->mapTo(&rig.form, QPoint(0, 0)), QPoint(208 + 104, 72 + 24 + 24 * 7));
}

void HighDpiTest::captionsFit_data() { addCaptionRows(false); }

void HighDpiTest::captionsFit()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    const qreal scale = requestedScale();

    WindowRig rig;
    QVERIFY(rig.shown());
    QWidget *w = control(rig.form, name);
    QVERIFY(w);
    const QRectF room = textRoom(rig.form, w);

    // The glyphs are drawn from a font at scale times the size, whose hinting and rounding
    // can make a text wider than scale times its logical width: measure that font against
    // the room in device pixels.
    QFont drawn = w->font();
    drawn.setPointSizeF(w->font().pointSizeF() * scale);
    const QFontMetricsF device(drawn);
    const qreal needed = device.horizontalAdvance(text);
    const qreal roomWidth = room.width() * scale;
    QVERIFY2(needed <= roomWidth, qPrintable(QStringLiteral("at scale %1 \"%2\" needs %3 device px, %4 has %5")
                                                 .arg(scale)
                                                 .arg(text)
                                                 .arg(needed)
                                                 .arg(name)
                                                 .arg(roomWidth)));
    const qreal lineHeight = device.height();
    QVERIFY2(lineHeight <= room.height() * scale,
             qPrintable(QStringLiteral("at scale %1 a line is %2 device px high, %3 has %4")
                            .arg(scale)
                            .arg(lineHeight)
                            .arg(name)
                            .arg(room.height() * scale)));
    // And in the window's own metrics, which decide where a line edit scrolls its text.
    const QFontMetricsF logical(w->font(), w);
    QVERIFY(logical.horizontalAdvance(text) <= room.width());
    QVERIFY(logical.height() <= room.height());
}

QTEST_MAIN(HighDpiTest)
#include "tst_high_dpi.moc"
