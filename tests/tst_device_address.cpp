// The text of the IP Address box: the framing its scheme names, the host, the port and the
// unit id, or a refusal before anything goes on the network.

#include "exchange/device_address.h"

#include <QtTest>

class DeviceAddressTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addressParts_data();
    void addressParts();
};

void DeviceAddressTest::addressParts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("rtu");
    // A row stays on its line: clang-format would break it wherever two string literals meet.
    // clang-format off
    QTest::newRow("address") << "192.168.0.10" << "192.168.0.10" << 502 << 1 << false;
    QTest::newRow("address, unit 3") << "192.168.0.10#3" << "192.168.0.10" << 502 << 3 << false;
    QTest::newRow("host name, port, unit 17") << "gw.local:502#17" << "gw.local" << 502 << 17 << false;
    QTest::newRow("IPv6, port, unit 3") << "[::1]:1502#3" << "::1" << 1502 << 3 << false;
    QTest::newRow("unit 0") << "plc1#0" << "plc1" << 502 << 0 << false;
    QTest::newRow("unit 255") << "plc1#255" << "plc1" << 502 << 255 << false;
    QTest::newRow("tcp scheme") << "tcp://plc1:1502" << "plc1" << 1502 << 1 << false;
    QTest::newRow("rtu scheme, IPv6, port, unit") << "rtu://[::1]:4001#3" << "::1" << 4001 << 3 << true;
    QTest::newRow("RTU scheme in capitals") << " RTU://10.0.0.5 " << "10.0.0.5" << 502 << 1 << true;
    // clang-format on
    for (const char *bad : {"plc1#256", "plc1#-1", "plc1#x", "plc1#", "plc1#3#4", "udp://plc1", "rtu://", "rtu://:502",
                            "rtu://plc1:0", "rtu://plc1:x", "://plc1", "rtu://plc1/x"})
        QTest::newRow(bad) << bad << "" << 0 << 0 << false;
}

void DeviceAddressTest::addressParts()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(int, unit);
    QFETCH(bool, rtu);
    const auto target = parseDeviceAddress(text);
    QCOMPARE(target.has_value(), !host.isEmpty());
    if (target)
        QCOMPARE(QStringList({target->host, QString::number(target->port), QString::number(target->unit),
                              target->framing == &framing::ModbusRtu ? "rtu" : "tcp"}),
                 QStringList({host, QString::number(port), QString::number(unit), rtu ? "rtu" : "tcp"}));
}

QTEST_GUILESS_MAIN(DeviceAddressTest)
#include "tst_device_address.moc"
