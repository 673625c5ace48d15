// How operator text becomes numbers: the value of a text, the whole number with halves to
// even, and the split into the high and low byte of a 16-bit field.

#include "exchange/numeric_text.h"

#include <QLocale>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>
#include <cmath>
#include <limits>

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();

// A row of the full chain text -> value -> whole number -> bytes. A row whose whole number
// does not fit 32 bits has no bytes either.
void chainRow(const char *name, const QString &text, double value, bool wholeOk, qint32 whole = 0, bool splitOk = false,
              int high = 0, int low = 0)
{
    QTest::newRow(name) << text << value << wholeOk << whole << splitOk << high << low;
}

} // namespace

class tst_NumericText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void chain_data();
    void chain();
    void exactValue_data();
    void exactValue();
    void wholeNumber_data();
    void wholeNumber();
    void split_data();
    void split();
    void independentOfLocale_data();
    void independentOfLocale();

private:
    QTemporaryDir m_tempDir;
    QString m_localeDir; // where a German locale was built, empty when the system has one
    bool m_germanC = false;
};

void tst_NumericText::chain_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("wholeOk");
    QTest::addColumn<qint32>("whole");
    QTest::addColumn<bool>("splitOk");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");

    // Blanks, tabs and line feeds vanish wherever they stand.
    chainRow("blank between digits", "1 6", 16, true, 16, true, 0, 16);
    chainRow("tab and line feed", "\t1\n2 ", 12, true, 12, true, 0, 12);
    chainRow("blank inside fraction", "1 . 5", 1.5, true, 2, true, 0, 2);
    chainRow("carriage return stops", "1\r6", 1, true, 1, true, 0, 1);

    // Rounding to whole numbers, halves to the even neighbour.
    chainRow("16.4", "16.4", 16.4, true, 16, true, 0, 16);
    chainRow("2.5 to 2", "2.5", 2.5, true, 2, true, 0, 2);
    chainRow("3.5 to 4", "3.5", 3.5, true, 4, true, 0, 4);
    chainRow("-0.5 to 0", "-0.5", -0.5, true, 0, true, 0, 0);
    chainRow("-1.5 to -2", "-1.5", -1.5, true, -2, false);
    chainRow("0.5 to 0", "0.5", 0.5, true, 0, true, 0, 0);
    chainRow("65535.5 to 65536", "65535.5", 65535.5, true, 65536, false);
    chainRow("65534.5 to 65534", "65534.5", 65534.5, true, 65534, true, 255, 254);

    // Splitting into bytes.
    chainRow("300", "300", 300, true, 300, true, 1, 44);
    chainRow("65535", "65535", 65535, true, 65535, true, 255, 255);
    chainRow("65536 fails", "65536", 65536, true, 65536, false);
    chainRow("-1 fails", "-1", -1, true, -1, false);
    chainRow("256", "256", 256, true, 256, true, 1, 0);
    chainRow("zero", "0", 0, true, 0, true, 0, 0);

    // The longest leading number; whatever follows is ignored, nothing at all is 0.
    chainRow("12abc", "12abc", 12, true, 12, true, 0, 12);
    chainRow("empty", "", 0, true, 0, true, 0, 0);
    chainRow("blanks only", "   ", 0, true, 0, true, 0, 0);
    chainRow("letters only", "abc", 0, true, 0, true, 0, 0);
    chainRow("plus sign", "+7", 7, true, 7, true, 0, 7);
    chainRow("sign alone", "-", 0, true, 0, true, 0, 0);
    chainRow("two signs", "--5", 0, true, 0, true, 0, 0);
    chainRow("second point ends it", "1.2.3", 1.2, true, 1, true, 0, 1);
    chainRow("comma ends it", "2,5", 2, true, 2, true, 0, 2);
    chainRow("leading zeros", "007", 7, true, 7, true, 0, 7);

    // A point needs digits after it to belong to the number.
    chainRow("point then digits", ".5", 0.5, true, 0, true, 0, 0);
    chainRow("negative point then digits", "-.5", -0.5, true, 0, true, 0, 0);
    chainRow("trailing point", "5.", 5, true, 5, true, 0, 5);
    chainRow("point alone", ".", 0, true, 0, true, 0, 0);
    chainRow("signed point alone", "-.", 0, true, 0, true, 0, 0);
    chainRow("trailing point before exponent", "5.E3", 5, true, 5, true, 0, 5);

    // Exponents.
    chainRow("exponent", "1E3", 1000, true, 1000, true, 3, 232);
    chainRow("lower-case exponent", "1e3", 1000, true, 1000, true, 3, 232);
    chainRow("negative exponent", "2.5E-1", 0.25, true, 0, true, 0, 0);
    chainRow("signed exponent", "1E+2", 100, true, 100, true, 0, 100);
    chainRow("exponent without digits", "1E", 1, true, 1, true, 0, 1);
    chainRow("exponent sign without digits", "1E+", 1, true, 1, true, 0, 1);
    chainRow("exponent without mantissa", "E5", 0, true, 0, true, 0, 0);
    chainRow("blank inside exponent", "1e1 0", 1e10, false);
    chainRow("65535 as exponent", "6.5535E4", 65535, true, 65535, true, 255, 255);

    // The signed 32-bit range of whole numbers.
    chainRow("largest 32-bit", "2147483647", 2147483647.0, true, 2147483647, false);
    chainRow("one above 32 bits", "2147483648", 2147483648.0, false);
    chainRow("smallest 32-bit", "-2147483648", -2147483648.0, true, std::numeric_limits<qint32>::min(), false);
    chainRow("one below 32 bits", "-2147483649", -2147483649.0, false);
    chainRow("half above largest rounds out", "2147483647.5", 2147483647.5, false);
    chainRow("half below smallest rounds in", "-2147483648.5", -2147483648.5, true, std::numeric_limits<qint32>::min(),
             false);
    chainRow("1e10", "1e10", 1e10, false);
    chainRow("beyond double", "1E400", Inf, false);
    chainRow("negative beyond double", "-1E400", -Inf, false);
    chainRow("below double's smallest", "1E-400", 0, true, 0, true, 0, 0);
    chainRow("long mantissa, small exponent", QStringLiteral("1") + QString(400, u'0') + QStringLiteral("E-1"), Inf,
             false);
    chainRow("long fraction, large exponent", QStringLiteral("0.") + QString(400, u'0') + QStringLiteral("1E399"), 0.01,
             true, 0, true, 0, 0);

    // Hexadecimal and octal as in device manuals, read as unsigned numbers.
    chainRow("&H1F", "&H1F", 31, true, 31, true, 0, 31);
    chainRow("&h1f lower case", "&h1f", 31, true, 31, true, 0, 31);
    chainRow("&HFFFF", "&HFFFF", 65535, true, 65535, true, 255, 255);
    chainRow("&H12C", "&H12C", 300, true, 300, true, 1, 44);
    chainRow("&O17", "&O17", 15, true, 15, true, 0, 15);
    chainRow("&O stops at 8", "&O178", 15, true, 15, true, 0, 15);
    chainRow("&H stops at G", "&H1G", 1, true, 1, true, 0, 1);
    chainRow("&H without digits", "&H", 0, true, 0, true, 0, 0);
    chainRow("&H with blanks", "& H 1F", 31, true, 31, true, 0, 31);
    chainRow("&H beyond 32 bits", "&HFFFFFFFF", 4294967295.0, false);
    chainRow("ampersand alone", "&", 0, true, 0, true, 0, 0);
    chainRow("ampersand other letter", "&X5", 0, true, 0, true, 0, 0);
}

void tst_NumericText::chain()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, wholeOk);
    QFETCH(qint32, whole);
    QFETCH(bool, splitOk);
    QFETCH(int, high);
    QFETCH(int, low);

    const double v = numeric::value(text);
    QCOMPARE(v, value);

    const auto w = numeric::wholeNumber(v);
    QCOMPARE(w.has_value(), wholeOk);
    if (wholeOk)
        QCOMPARE(*w, whole);

    const auto word = numeric::wordOf(text);
    QCOMPARE(word.has_value(), splitOk);
    if (splitOk) {
        QCOMPARE(int(word->high), high);
        QCOMPARE(int(word->low), low);
    }
}

// What a write accepts: only a text that is wholly a number once blanks are removed.
void tst_NumericText::exactValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<double>("value");

    QTest::newRow("blank between digits") << "1 6" << true << 16.0;
    QTest::newRow("signs, fraction, exponent") << " -2.5E+1 " << true << -25.0;
    QTest::newRow("plus sign") << "+7" << true << 7.0;
    QTest::newRow("point then digits") << ".5" << true << 0.5;
    QTest::newRow("&H1F") << "&H1F" << true << 31.0;
    QTest::newRow("&O17") << "&O17" << true << 15.0;
    QTest::newRow("beyond double") << "1E400" << true << Inf;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("blanks only") << "  " << false << 0.0;
    QTest::newRow("letters only") << "abc" << false << 0.0;
    QTest::newRow("12abc") << "12abc" << false << 0.0;
    QTest::newRow("0x1F") << "0x1F" << false << 0.0;
    QTest::newRow("2,7") << "2,7" << false << 0.0;
    QTest::newRow("1,5e1") << "1,5e1" << false << 0.0;
    QTest::newRow("trailing point") << "5." << false << 0.0;
    QTest::newRow("exponent without digits") << "1E" << false << 0.0;
    QTest::newRow("two signs") << "--5" << false << 0.0;
    QTest::newRow("&H stops at G") << "&H1G" << false << 0.0;
    QTest::newRow("&H without digits") << "&H" << false << 0.0;
    QTest::newRow("ampersand other letter") << "&X5" << false << 0.0;
}

void tst_NumericText::exactValue()
{
    QFETCH(QString, text);
    QFETCH(bool, exact);
    QFETCH(double, value);

    const auto v = numeric::exactValue(text);
    QCOMPARE(v.has_value(), exact);
    if (exact) {
        QCOMPARE(*v, value);
        QCOMPARE(*v, numeric::value(text)); // the same number the lenient reading finds
    }
    QCOMPARE(numeric::exactWordOf(text).has_value(), exact && numeric::wordOf(text).has_value());
}

void tst_NumericText::wholeNumber_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint32>("whole");

    QTest::newRow("2.5") << 2.5 << true << 2;
    QTest::newRow("3.5") << 3.5 << true << 4;
    QTest::newRow("4.5") << 4.5 << true << 4;
    QTest::newRow("-0.5") << -0.5 << true << 0;
    QTest::newRow("-2.5") << -2.5 << true << -2;
    QTest::newRow("-3.5") << -3.5 << true << -4;
    QTest::newRow("2.4999") << 2.4999 << true << 2;
    QTest::newRow("2.5001") << 2.5001 << true << 3;
    QTest::newRow("-2.6") << -2.6 << true << -3;
    QTest::newRow("largest") << 2147483647.0 << true << 2147483647;
    QTest::newRow("largest plus 0.4") << 2147483647.4 << true << 2147483647;
    QTest::newRow("largest plus 0.5") << 2147483647.5 << false << 0;
    QTest::newRow("smallest") << -2147483648.0 << true << std::numeric_limits<qint32>::min();
    QTest::newRow("smallest minus 0.6") << -2147483648.6 << false << 0;
    QTest::newRow("infinity") << Inf << false << 0;
    QTest::newRow("minus infinity") << -Inf << false << 0;
    QTest::newRow("not a number") << std::nan("") << false << 0;
}

void tst_NumericText::wholeNumber()
{
    QFETCH(double, value);
    QFETCH(bool, ok);
    QFETCH(qint32, whole);

    const auto w = numeric::wholeNumber(value);
    QCOMPARE(w.has_value(), ok);
    if (ok)
        QCOMPARE(*w, whole);
}

void tst_NumericText::split_data()
{
    QTest::addColumn<qint64>("whole");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");

    QTest::newRow("0") << qint64(0) << true << 0 << 0;
    QTest::newRow("255") << qint64(255) << true << 0 << 255;
    QTest::newRow("256") << qint64(256) << true << 1 << 0;
    QTest::newRow("300") << qint64(300) << true << 1 << 44;
    QTest::newRow("65535") << qint64(65535) << true << 255 << 255;
    QTest::newRow("65536 high byte 256") << qint64(65536) << false << 0 << 0;
    QTest::newRow("-1 low byte -1") << qint64(-1) << false << 0 << 0;
    QTest::newRow("-255 low byte -255") << qint64(-255) << false << 0 << 0;
    QTest::newRow("-256 high byte -1") << qint64(-256) << false << 0 << 0;
    QTest::newRow("largest 32-bit") << qint64(2147483647) << false << 0 << 0;
    QTest::newRow("2^40") << (qint64(1) << 40) << false << 0 << 0;
}

void tst_NumericText::split()
{
    QFETCH(qint64, whole);
    QFETCH(bool, ok);
    QFETCH(int, high);
    QFETCH(int, low);

    const auto word = numeric::split(whole);
    QCOMPARE(word.has_value(), ok);
    if (ok) {
        QCOMPARE(int(word->high), high);
        QCOMPARE(int(word->low), low);
    }
}

void tst_NumericText::independentOfLocale_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("point") << QStringLiteral("2.5") << 2.5;
    QTest::newRow("comma is not a separator") << QStringLiteral("2,5") << 2.0;
    QTest::newRow("German grouping is not grouping") << QStringLiteral("1.234,5") << 1.234;
    QTest::newRow("exponent") << QStringLiteral("1.5E3") << 1500.0;
}

// A German desktop writes 2,5 for two and a half; the tool reads the same text the same way
// on every desktop, so a value box means the same number to every operator.
void tst_NumericText::independentOfLocale()
{
    QFETCH(QString, text);
    QFETCH(double, value);

    const QLocale qtBefore;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const double withQtLocale = numeric::value(text);
    QLocale::setDefault(qtBefore);
    QCOMPARE(withQtLocale, value);

    // The C library's locale too, which Qt sets from the environment at start-up.
    if (!m_germanC)
        QSKIP("no German C locale on this machine; the Qt locale was checked");
    const QByteArray cBefore = std::setlocale(LC_ALL, nullptr);
    const QByteArray locpathBefore = qgetenv("LOCPATH");
    if (!m_localeDir.isEmpty())
        qputenv("LOCPATH", m_localeDir.toLocal8Bit());
    const bool switched = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const bool commaIsDecimal = switched && std::localeconv()->decimal_point == QByteArray(",");
    const double withCLocale = numeric::value(text);
    if (locpathBefore.isNull())
        qunsetenv("LOCPATH");
    else
        qputenv("LOCPATH", locpathBefore);
    std::setlocale(LC_ALL, cBefore.constData());
    QVERIFY2(commaIsDecimal, "the German locale did not take effect");
    QCOMPARE(withCLocale, value);
}

// Debian ships no compiled German locale by default: build one into a private folder when
// the tool for it is there.
void tst_NumericText::initTestCase()
{
    const QByteArray before = std::setlocale(LC_ALL, nullptr);
    m_germanC = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    std::setlocale(LC_ALL, before.constData());
    if (m_germanC || !m_tempDir.isValid())
        return;
    const QString target = m_tempDir.filePath(QStringLiteral("de_DE.UTF-8"));
    QProcess localedef;
    localedef.start(QStringLiteral("localedef"), {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                                  QStringLiteral("UTF-8"), target});
    if (!localedef.waitForFinished(60000) || localedef.exitStatus() != QProcess::NormalExit
        || localedef.exitCode() != 0)
        return;
    m_localeDir = m_tempDir.path();
    m_germanC = true;
}

QTEST_GUILESS_MAIN(tst_NumericText)
#include "tst_numeric_text.moc"
