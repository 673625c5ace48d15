// The icons the build draws for the desktop's icon theme: at 16 x 16 the window's own pixel
// art, at every larger size the same art with each pixel an exact square of one colour, so
// menus and docks show sharp letters instead of a blurred enlargement.

#include "workflow/app_icon.h"

#include <QImage>
#include <QSet>
#include <QTest>

class ThemeIconsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawnFromThePixelArt_data();
    void drawnFromThePixelArt();
};

void ThemeIconsTest::drawnFromThePixelArt_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void ThemeIconsTest::drawnFromThePixelArt()
{
    QFETCH(int, size);
    const QString file = QStringLiteral(THEME_ICON_DIR "/%1x%1/apps/" APP_ID ".png").arg(size);
    QImage icon;
    QVERIFY2(icon.load(file, "PNG"), qPrintable(file));
    QCOMPARE(icon.size(), QSize(size, size));
    icon = icon.convertToFormat(QImage::Format_RGB32);

    const QImage art = appIconImage().convertToFormat(QImage::Format_RGB32);
    const int scale = size / 16;
    QSet<QRgb> colours;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb want = art.pixel(x / scale, y / scale);
            colours.insert(icon.pixel(x, y));
            if (icon.pixel(x, y) != want)
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is #%3, the art has #%4 there")
                                     .arg(x)
                                     .arg(y)
                                     .arg(icon.pixel(x, y), 8, 16, QLatin1Char('0'))
                                     .arg(want, 8, 16, QLatin1Char('0'))));
        }
    }
    // Blurring would add shades between the letters' colour and the field's.
    QCOMPARE(colours.size(), 2);
}

QTEST_MAIN(ThemeIconsTest)
#include "tst_theme_icons.moc"
