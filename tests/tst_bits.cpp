// The bit helpers behind coils and discrete inputs: reading one bit for the display, setting
// or clearing one bit, and turning a text of digits into a data byte.

#include "exchange/bits.h"

#include <QtTest>

class tst_Bits : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valBit_data();
    void valBit();
    void valBitMatchesEveryBitOfEveryByte();
    void setBit_data();
    void setBit();
    void setByte_data();
    void setByte();
    void setByteReadsEightBinaryDigits();
};

void tst_Bits::valBit_data()
{
    QTest::addColumn<int>("aByte");
    QTest::addColumn<int>("bitId");
    QTest::addColumn<int>("expected");

    // 5 is 0000 0101: bits 0 and 2 set.
    for (int bit = 0; bit < 8; ++bit)
        QTest::addRow("5 bit %d", bit) << 5 << bit << (bit == 0 || bit == 2 ? 1 : 0);
    QTest::newRow("0x80 bit 7") << 0x80 << 7 << 1;
    QTest::newRow("0x80 bit 0") << 0x80 << 0 << 0;
    QTest::newRow("0x7F bit 7") << 0x7F << 7 << 0;

    // Bit numbers that name no bit of a byte.
    QTest::newRow("255 bit 8") << 255 << 8 << 0;
    QTest::newRow("255 bit 9") << 255 << 9 << 0;
    QTest::newRow("255 bit 30") << 255 << 30 << 0;
    QTest::newRow("255 bit -1") << 255 << -1 << 0;
    QTest::newRow("255 bit -8") << 255 << -8 << 0;
    QTest::newRow("255 bit -32768") << 255 << -32768 << 0;
}

void tst_Bits::valBit()
{
    QFETCH(int, aByte);
    QFETCH(int, bitId);
    QFETCH(int, expected);

    QCOMPARE(int(ValBit(quint8(aByte), qint16(bitId))), expected);
}

void tst_Bits::valBitMatchesEveryBitOfEveryByte()
{
    for (int b = 0; b < 256; ++b) {
        int rebuilt = 0;
        for (int j = 0; j < 8; ++j) {
            const int bit = ValBit(quint8(b), qint16(j));
            QVERIFY2(bit == 0 || bit == 1, qPrintable(QStringLiteral("byte %1 bit %2").arg(b).arg(j)));
            rebuilt |= bit << j;
        }
        QCOMPARE(rebuilt, b);
    }
}

void tst_Bits::setBit_data()
{
    QTest::addColumn<int>("aByte");
    QTest::addColumn<int>("bitId");
    QTest::addColumn<int>("outBit");
    QTest::addColumn<int>("expected");

    QTest::newRow("set bit 3 of 0") << 0 << 3 << 1 << 8;
    QTest::newRow("clear bit 3 of 255") << 255 << 3 << 0 << 247;
    QTest::newRow("bit 9 wraps to 1") << 4 << 9 << 1 << 6;
    QTest::newRow("outBit 2 gives 0") << 255 << 0 << 2 << 0;
    QTest::newRow("outBit -1 gives 0") << 255 << 0 << -1 << 0;
    QTest::newRow("outBit 32767 gives 0") << 5 << 2 << 32767 << 0;
    QTest::newRow("set an already set bit") << 8 << 3 << 1 << 8;
    QTest::newRow("clear an already clear bit") << 0 << 3 << 0 << 0;
    QTest::newRow("set bit 0") << 0 << 0 << 1 << 1;
    QTest::newRow("set bit 7") << 0 << 7 << 1 << 128;
    QTest::newRow("clear bit 7") << 255 << 7 << 0 << 127;
    QTest::newRow("bit 8 wraps to 0") << 0 << 8 << 1 << 1;
    QTest::newRow("bit 16 wraps to 0") << 170 << 16 << 1 << 171;
    QTest::newRow("bit 255 wraps to 7, cleared") << 255 << 255 << 0 << 127;
    QTest::newRow("other bits kept when setting") << 0xA5 << 1 << 1 << 0xA7;
    QTest::newRow("other bits kept when clearing") << 0xA5 << 5 << 0 << 0x85;
}

void tst_Bits::setBit()
{
    QFETCH(int, aByte);
    QFETCH(int, bitId);
    QFETCH(int, outBit);
    QFETCH(int, expected);

    QCOMPARE(int(SetBit(quint8(aByte), quint8(bitId), qint16(outBit))), expected);
}

void tst_Bits::setByte_data()
{
    QTest::addColumn<QString>("strBit");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("expected");

    QTest::newRow("empty") << QString() << true << 0;
    QTest::newRow("11111111") << QStringLiteral("11111111") << true << 255;
    QTest::newRow("00000001") << QStringLiteral("00000001") << true << 1;
    QTest::newRow("10000000") << QStringLiteral("10000000") << true << 128;
    QTest::newRow("00001101") << QStringLiteral("00001101") << true << 13;
    QTest::newRow("single 0") << QStringLiteral("0") << true << 0;
    QTest::newRow("single 1") << QStringLiteral("1") << true << 1;

    // Digits above 1 add their full value at their position.
    QTest::newRow("2") << QStringLiteral("2") << true << 2;
    QTest::newRow("12") << QStringLiteral("12") << true << 4;
    QTest::newRow("10") << QStringLiteral("10") << true << 2;
    QTest::newRow("9") << QStringLiteral("9") << true << 9;
    QTest::newRow("255 as digits") << QStringLiteral("255") << true << 23;
    QTest::newRow("0000002 then 0") << QStringLiteral("00000020") << true << 4;

    // More than eight characters, as long as the value stays within a byte.
    QTest::newRow("000000010") << QStringLiteral("000000010") << true << 2;
    QTest::newRow("sixteen digits, low eight ones") << QStringLiteral("0000000011111111") << true << 255;
    QTest::newRow("leading zeros before 127") << QStringLiteral("00000000000000000000127") << true << 15;

    // Failures: a value above 255, or a character that is not a digit.
    QTest::newRow("100000000") << QStringLiteral("100000000") << false << 0;
    QTest::newRow("111111111") << QStringLiteral("111111111") << false << 0;
    QTest::newRow("99999") << QStringLiteral("99999") << false << 0;
    QTest::newRow("2 then seven zeros is 256") << QStringLiteral("20000000") << false << 0;
    QTest::newRow("long run of ones") << QString(64, u'1') << false << 0;
    QTest::newRow("minus sign") << QStringLiteral("0000000-1") << false << 0;
    QTest::newRow("decimal point") << QStringLiteral("0000000.5") << false << 0;
    QTest::newRow("letter") << QStringLiteral("0000000a") << false << 0;
    QTest::newRow("blank") << QStringLiteral("0000 0001") << false << 0;
    QTest::newRow("plus sign") << QStringLiteral("+1") << false << 0;
    QTest::newRow("Arabic-Indic digit") << QString(QChar(0x0661)) << false << 0;
}

void tst_Bits::setByte()
{
    QFETCH(QString, strBit);
    QFETCH(bool, ok);
    QFETCH(int, expected);

    const auto b = SetByte(strBit);
    QCOMPARE(b.has_value(), ok);
    if (ok)
        QCOMPARE(int(*b), expected);
}

// Every byte written as eight binary digits, highest bit first, reads back as itself; this is
// how a coil write turns eight boxes into one data byte.
void tst_Bits::setByteReadsEightBinaryDigits()
{
    for (int b = 0; b < 256; ++b) {
        const QString digits = QStringLiteral("%1").arg(b, 8, 2, QLatin1Char('0'));
        const auto v = SetByte(digits);
        QVERIFY2(v.has_value(), qPrintable(digits));
        QCOMPARE(int(*v), b);
    }
}

QTEST_GUILESS_MAIN(tst_Bits)
#include "tst_bits.moc"
