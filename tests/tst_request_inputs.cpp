// From the operator's texts to one write or read request: byte-exact frames when every input
// is sound, and a refusal naming the field when one is not, with nothing to send.

#include "test_bytes.h"

#include "exchange/framing.h"
#include "exchange/request_inputs.h"

#include <QtTest>

#include <algorithm>

namespace {

const QString StartRefusal = QStringLiteral("The start address must be a whole number from 0 to 65535.");
const QString LengthRefusal = QStringLiteral("The length must be a whole number from 0 to 16.");
QString registerRefusal(int box) { return QStringLiteral("Value %1 must be a whole number from 0 to 65535.").arg(box); }
QString coilRefusal(int box) { return QStringLiteral("Value %1 must be 0 or 1.").arg(box); }

// The boxes as the builder sees them, recording which ones it reads.
struct Boxes {
    QStringList texts;
    QList<int> read;
    BoxText reader()
    {
        return [this](int k) {
            read.append(k);
            return texts.value(k);
        };
    }
    int highestRead() const { return read.isEmpty() ? -1 : *std::max_element(read.begin(), read.end()); }
};

// The columns of a write table: the texts typed, and either the request or the refusal.
void addWriteColumns()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("refusal");
}

// The request as the first of a connection to unit 1 takes it on the wire; nothing when refused.
QByteArray onWire(const BuiltRequest &built)
{
    return built.ok() ? framing::ModbusTcp.wrap(built.request, 1, 0) : QByteArray();
}

// Builds the write of the current row and checks the request, or the refusal, against it.
void checkWrite(BuiltRequest (*build)(const QString &, const QString &, const BoxText &))
{
    QFETCH(QString, start);
    QFETCH(QString, length);
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, expected);
    QFETCH(QString, refusal);

    Boxes b{texts, {}};
    const BuiltRequest built = build(start, length, b.reader());
    QCOMPARE(built.refusal, refusal);
    QCOMPARE(built.ok(), refusal.isEmpty());
    QCOMPARE(onWire(built).toHex(' '), expected.toHex(' '));
    if (built.ok()) {
        const int quantity = quint8(expected[10]) * 256 + quint8(expected[11]);
        QVERIFY2(b.highestRead() < quantity,
                 qPrintable(QStringLiteral("box %1 read with N = %2").arg(b.highestRead()).arg(quantity)));
    }
}

} // namespace

class tst_RequestInputs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writeRegisters_data();
    void writeRegisters();
    void writeCoils_data();
    void writeCoils();
    void readRequest_data();
    void readRequest();
};

void tst_RequestInputs::writeRegisters_data()
{
    addWriteColumns();

    QStringList sixteenValues;
    QByteArray sixteenData;
    for (int k = 0; k < 16; ++k) {
        sixteenValues.append(QString::number(4096 * k + k));
        sixteenData.append(char(16 * k));
        sixteenData.append(char(k));
    }

    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
    QTest::newRow("start 0 with 10 and 300") << "0" << "2" << sixteen({"10", "300"})
                                             << hex("0000 0000 000B 01 10 0000 0002 04 000A 012C") << QString();
    QTest::newRow("65535 at start 300") << "300" << "1" << sixteen({"65535"})
                                        << hex("0000 0000 0009 01 10 012C 0001 02 FFFF") << QString();
    QTest::newRow("N = 16") << "0" << "16" << sixteenValues << hex("0000 0000 0027 01 10 0000 0010 20") + sixteenData
                            << QString();
    QTest::newRow("N = 0") << "5" << "0" << sixteen({"x"}) << hex("0000 0000 0007 01 10 0005 0000 00") << QString();
    // A write takes only texts that are wholly numbers: nothing typed is cut short or read as 0.
    QTest::newRow("empty length is refused") << "300" << "" << sixteen({"-1"}) << QByteArray() << LengthRefusal;
    QTest::newRow("letters length is refused") << "0" << "abc" << sixteen({}) << QByteArray() << LengthRefusal;
    QTest::newRow("length -0.5 is N = 0") << "0" << "-0.5" << sixteen({}) << hex("0000 0000 0007 01 10 0000 0000 00")
                                          << QString();
    QTest::newRow("boxes 2.5 and 3.5") << "0" << "2" << sixteen({"2.5", "3.5"})
                                       << hex("0000 0000 000B 01 10 0000 0002 04 0002 0004") << QString();
    QTest::newRow("length 2.5 is 2") << "0" << "2.5" << sixteen({"7", "8", "9"})
                                     << hex("0000 0000 000B 01 10 0000 0002 04 0007 0008") << QString();
    QTest::newRow("length 16.5 is 16") << "0" << "16.5" << sixteenValues
                                       << hex("0000 0000 0027 01 10 0000 0010 20") + sixteenData << QString();
    QTest::newRow("empty box is refused") << "0" << "2" << sixteen({"", "abc"}) << QByteArray() << registerRefusal(0);
    QTest::newRow("letters box is refused") << "0" << "2" << sixteen({"1", "abc"}) << QByteArray() << registerRefusal(1);
    QTest::newRow("1.0 and 01 are 1, 1abc is refused") << "0" << "3" << sixteen({"1.0", "01", "1abc"}) << QByteArray()
                                                       << registerRefusal(2);
    QTest::newRow("1.0 and 01 are 1") << "0" << "2" << sixteen({"1.0", "01"})
                                      << hex("0000 0000 000B 01 10 0000 0002 04 0001 0001") << QString();
    QTest::newRow("0x1F is refused") << "0" << "1" << sixteen({"0x1F"}) << QByteArray() << registerRefusal(0);
    QTest::newRow("2,7 is refused") << "0" << "1" << sixteen({"2,7"}) << QByteArray() << registerRefusal(0);
    QTest::newRow("1,5e1 is refused") << "0" << "1" << sixteen({"1,5e1"}) << QByteArray() << registerRefusal(0);
    QTest::newRow("&H1G is refused") << "0" << "1" << sixteen({"&H1G"}) << QByteArray() << registerRefusal(0);
    QTest::newRow("start 12abc is refused") << "12abc" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("empty start is refused") << "" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("length 2x is refused") << "0" << "2x" << sixteen({"1", "1"}) << QByteArray() << LengthRefusal;
    QTest::newRow("boxes from N on not read") << "0" << "3" << sixteen({"1", "2", "3", "-1", "x", "70000"})
                                              << hex("0000 0000 000D 01 10 0000 0003 06 0001 0002 0003") << QString();
    QTest::newRow("65535.4 and -0.5 round into range") << "0" << "2" << sixteen({"65535.4", "-0.5"})
                                                       << hex("0000 0000 000B 01 10 0000 0002 04 FFFF 0000") << QString();
    QTest::newRow("start 65535") << "65535" << "1" << sixteen({"0"}) << hex("0000 0000 0009 01 10 FFFF 0001 02 0000")
                                 << QString();
    QTest::newRow("hexadecimal box and start") << "&H12C" << "1" << sixteen({"&HFFFF"})
                                               << hex("0000 0000 0009 01 10 012C 0001 02 FFFF") << QString();

    // Refusals: the first failing field, in the order start, length, boxes.
    QTest::newRow("start 70000") << "70000" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start 65536") << "65536" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start 65535.5 rounds to 65536") << "65535.5" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start -5") << "-5" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start -0.6 rounds to -1") << "-0.6" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start 1e10") << "1e10" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("length 17") << "0" << "17" << sixteen({}) << QByteArray() << LengthRefusal;
    QTest::newRow("length 16.6 rounds to 17") << "0" << "16.6" << sixteen({}) << QByteArray() << LengthRefusal;
    QTest::newRow("length -1") << "0" << "-1" << sixteen({}) << QByteArray() << LengthRefusal;
    QTest::newRow("length 1e10") << "0" << "1e10" << sixteen({}) << QByteArray() << LengthRefusal;
    QTest::newRow("box 0 holding 65536") << "0" << "1" << sixteen({"65536"}) << QByteArray() << registerRefusal(0);
    QTest::newRow("box 5 holding -1") << "0" << "6" << sixteen({"0", "0", "0", "0", "0", "-1"}) << QByteArray()
                                      << registerRefusal(5);
    QTest::newRow("box 15 holding 65535.5") << "0" << "16" << [] {
        QStringList t(16, QStringLiteral("1"));
        t[15] = QStringLiteral("65535.5");
        return t;
    }() << QByteArray() << registerRefusal(15);
    QTest::newRow("box 1 holding 1e10") << "0" << "2" << sixteen({"0", "1e10"}) << QByteArray() << registerRefusal(1);
    QTest::newRow("first bad box named") << "0" << "6" << sixteen({"0", "0", "-1", "0", "0", "70000"}) << QByteArray()
                                         << registerRefusal(2);
    QTest::newRow("start before length and boxes") << "-5" << "17" << sixteen({"-1"}) << QByteArray() << StartRefusal;
    QTest::newRow("length before boxes") << "0" << "-1" << sixteen({"-1"}) << QByteArray() << LengthRefusal;
    // clang-format on
}

void tst_RequestInputs::writeRegisters() { checkWrite(writeRegistersFrom); }

void tst_RequestInputs::writeCoils_data()
{
    addWriteColumns();

    const QStringList ten = sixteen({"1", "0", "1", "1", "0", "0", "0", "0", "1", "1"});
    QStringList tenAndBox12 = ten;
    tenAndBox12[12] = QStringLiteral("1");
    QStringList tenAndJunk = ten;
    for (int k = 10; k < 16; ++k)
        tenAndJunk[k] = QStringLiteral("-1");
    const QStringList ones(16, QStringLiteral("1"));

    // clang-format off
    QTest::newRow("N = 10, 1 0 1 1 0 0 0 0 1 1") << "0" << "10" << ten
                                                 << hex("0000 0000 0009 01 0F 0000 000A 02 0D 03") << QString();
    QTest::newRow("box 12 beyond N stays 0") << "0" << "10" << tenAndBox12
                                             << hex("0000 0000 0009 01 0F 0000 000A 02 0D 03") << QString();
    QTest::newRow("invalid boxes beyond N not read") << "0" << "10" << tenAndJunk
                                                     << hex("0000 0000 0009 01 0F 0000 000A 02 0D 03") << QString();
    QTest::newRow("sixteen ones") << "0" << "16" << ones << hex("0000 0000 0009 01 0F 0000 0010 02 FF FF") << QString();
    QTest::newRow("start 300") << "300" << "1" << sixteen({"1"}) << hex("0000 0000 0008 01 0F 012C 0001 01 01")
                               << QString();
    QTest::newRow("N = 3, box 5 beyond N") << "0" << "3" << sixteen({"1", "1", "0", "0", "0", "1"})
                                           << hex("0000 0000 0008 01 0F 0000 0003 01 03") << QString();
    QTest::newRow("N = 8, last box sets bit 7") << "0" << "8" << sixteen({"0", "0", "0", "0", "0", "0", "0", "1"})
                                                << hex("0000 0000 0008 01 0F 0000 0008 01 80") << QString();
    QTest::newRow("N = 9, box 8 alone in second byte") << "0" << "9" << sixteen({"0", "0", "0", "0", "0", "0", "0", "0", "1"})
                                                       << hex("0000 0000 0009 01 0F 0000 0009 02 00 01") << QString();
    QTest::newRow("N = 0") << "0" << "0" << ones << hex("0000 0000 0007 01 0F 0000 0000 00") << QString();
    QTest::newRow("empty length is refused") << "300" << "" << ones << QByteArray() << LengthRefusal;
    QTest::newRow("length 2.5 is 2") << "0" << "2.5" << sixteen({"1", "1", "1"})
                                     << hex("0000 0000 0008 01 0F 0000 0002 01 03") << QString();
    QTest::newRow("1.0, 01 are 1, 1abc is refused") << "0" << "3" << sixteen({"1.0", "01", "1abc"}) << QByteArray()
                                                    << coilRefusal(2);
    QTest::newRow("1.0, 01 are 1") << "0" << "3" << sixteen({"1.0", "01", "1"})
                                   << hex("0000 0000 0008 01 0F 0000 0003 01 07") << QString();
    QTest::newRow("empty box is refused") << "0" << "5" << sixteen({"", "abc", "0.0", "-0", "1"}) << QByteArray()
                                          << coilRefusal(0);
    QTest::newRow("letters box is refused") << "0" << "5" << sixteen({"0", "abc", "0.0", "-0", "1"}) << QByteArray()
                                            << coilRefusal(1);
    QTest::newRow("0.0, -0 are 0") << "0" << "5" << sixteen({"0", "0", "0.0", "-0", "1"})
                                   << hex("0000 0000 0008 01 0F 0000 0005 01 10") << QString();
    QTest::newRow("1E0 and &H1 are 1") << "0" << "2" << sixteen({"1E0", "&H1"})
                                       << hex("0000 0000 0008 01 0F 0000 0002 01 03") << QString();

    QTest::newRow("start 70000") << "70000" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start -5") << "-5" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("start 1e10") << "1e10" << "1" << sixteen({"1"}) << QByteArray() << StartRefusal;
    QTest::newRow("length 17") << "0" << "17" << ones << QByteArray() << LengthRefusal;
    QTest::newRow("length -1") << "0" << "-1" << ones << QByteArray() << LengthRefusal;
    QTest::newRow("box 0 holding 2") << "0" << "8" << sixteen({"2"}) << QByteArray() << coilRefusal(0);
    QTest::newRow("box 3 holding 10") << "0" << "8" << sixteen({"0", "0", "0", "10"}) << QByteArray() << coilRefusal(3);
    QTest::newRow("box 9 holding -1") << "0" << "16" << [] {
        QStringList t(16, QStringLiteral("1"));
        t[9] = QStringLiteral("-1");
        return t;
    }() << QByteArray() << coilRefusal(9);
    QTest::newRow("box 15 holding 0.5") << "0" << "16" << [] {
        QStringList t(16, QStringLiteral("0"));
        t[15] = QStringLiteral("0.5");
        return t;
    }() << QByteArray() << coilRefusal(15);
    QTest::newRow("box 1 holding 0.9999") << "0" << "2" << sixteen({"1", "0.9999"}) << QByteArray() << coilRefusal(1);
    QTest::newRow("first bad box named") << "0" << "10" << sixteen({"1", "1", "2", "1", "-1"}) << QByteArray()
                                         << coilRefusal(2);
    QTest::newRow("start before boxes") << "70000" << "3" << sixteen({"5"}) << QByteArray() << StartRefusal;
    // clang-format on
}

void tst_RequestInputs::writeCoils() { checkWrite(writeCoilsFrom); }

void tst_RequestInputs::readRequest_data()
{
    QTest::addColumn<int>("fc");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("refusal");

    // clang-format off
    QTest::newRow("holding 0, 16") << 3 << "0" << "16" << hex("0000 0000 0006 01 03 0000 0010") << QString();
    QTest::newRow("coils 300, 2") << 1 << "300" << "2" << hex("0000 0000 0006 01 01 012C 0002") << QString();
    QTest::newRow("inputs 65535, 1") << 2 << "65535" << "1" << hex("0000 0000 0006 01 02 FFFF 0001") << QString();
    QTest::newRow("empty start, empty length") << 3 << "" << "" << hex("0000 0000 0006 01 03 0000 0000") << QString();
    QTest::newRow("letters length") << 1 << "1 6" << "abc" << hex("0000 0000 0006 01 01 0010 0000") << QString();
    QTest::newRow("length 2.5 is 2") << 3 << "0" << "2.5" << hex("0000 0000 0006 01 03 0000 0002") << QString();
    QTest::newRow("length 16.4 is 16") << 3 << "0" << "16.4" << hex("0000 0000 0006 01 03 0000 0010") << QString();

    // The limit of 16 is the caller's; the builder itself carries both bytes of any length.
    QTest::newRow("length 300, both bytes") << 3 << "0" << "300" << hex("0000 0000 0006 01 03 0000 012C") << QString();

    QTest::newRow("start 70000") << 3 << "70000" << "1" << QByteArray() << StartRefusal;
    QTest::newRow("start -5") << 1 << "-5" << "1" << QByteArray() << StartRefusal;
    QTest::newRow("start 1e10") << 2 << "1e10" << "1" << QByteArray() << StartRefusal;
    QTest::newRow("length -1") << 3 << "0" << "-1" << QByteArray() << LengthRefusal;
    QTest::newRow("start before length") << 3 << "-1" << "-1" << QByteArray() << StartRefusal;
    // clang-format on
}

void tst_RequestInputs::readRequest()
{
    QFETCH(int, fc);
    QFETCH(QString, start);
    QFETCH(QString, length);
    QFETCH(QByteArray, expected);
    QFETCH(QString, refusal);

    const BuiltRequest built = readRequestFrom(quint8(fc), start, length);
    QCOMPARE(built.refusal, refusal);
    QCOMPARE(onWire(built).toHex(' '), expected.toHex(' '));
}

QTEST_GUILESS_MAIN(tst_RequestInputs)
#include "tst_request_inputs.moc"
