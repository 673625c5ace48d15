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
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTest>

namespace {

// The scale this process was started with; 1 without QT_SCALE_FACTOR.
qreal requestedScale()
{
    bool ok = false;
    const qreal s = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok && s > 0 ? s : 1.0;
}

// Where a line edit draws its text: the style's contents less the text margins and the
// line edit's own two pixels a side and one above and below.
QRectF lineEditRoom(QLineEdit *e)
{
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.rect = e->rect();
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    return e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e)
        .marginsRemoved(e->textMargins())
        .adjusted(2, 1, -2, -1);
}

QRectF buttonRoom(QPushButton *b)
{
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.rect = b->rect();
    const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, &opt, b);
    return b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).adjusted(margin / 2, 0, -margin / 2, 0);
}

// The room a control leaves for its text, in the window's logical pixels.
QRectF textRoom(Form1 &f, QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return lineEditRoom(e);
    if (auto *b = qobject_cast<QPushButton *>(w))
        return buttonRoom(b);
    if (auto *c = qobject_cast<QComboBox *>(w))
        return lineEditRoom(c->lineEdit());
    if (w == f.Label4) // the selector covers the label's right end
        return QRectF(0, 0, f.cboReg->x() - w->x(), w->height());
    return w->contentsRect();
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

void HighDpiTest::captionsFit_data()
{
    addCaptionRows(false);
}

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
    QVERIFY2(needed <= roomWidth,
             qPrintable(QStringLiteral("at scale %1 \"%2\" needs %3 device px, %4 has %5")
                            .arg(scale).arg(text).arg(needed).arg(name).arg(roomWidth)));
    const qreal lineHeight = device.height();
    QVERIFY2(lineHeight <= room.height() * scale,
             qPrintable(QStringLiteral("at scale %1 a line is %2 device px high, %3 has %4")
                            .arg(scale).arg(lineHeight).arg(name).arg(room.height() * scale)));
    // And in the window's own metrics, which decide where a line edit scrolls its text.
    const QFontMetricsF logical(w->font(), w);
    QVERIFY(logical.horizontalAdvance(text) <= room.width());
    QVERIFY(logical.height() <= room.height());
}

QTEST_MAIN(HighDpiTest)
#include "tst_high_dpi.moc"
