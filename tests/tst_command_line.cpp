// The command line: an address for the IP Address box, --help, and the misuses that end the
// program before it opens a window.

#include "workflow/command_line.h"

#include <QTest>

class CommandLineTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("address"); // null: the box keeps its default
        QTest::addColumn<int>("exitCode");    // -1: the window opens
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("none") << QStringList() << QString() << -1 << QString();
        QTest::newRow("an address") << QStringList{"gw.local:502#17"} << "gw.local:502#17" << -1 << QString();
        QTest::newRow("--help after an address")
            << QStringList{"plc1", "--help"} << QString() << 0 << "usage: modbus-tcp [ADDRESS]";
        QTest::newRow("-h") << QStringList{"-h"} << QString() << 0 << "usage: modbus-tcp [ADDRESS]";
        QTest::newRow("unknown option") << QStringList{"plc1", "-x"} << QString() << 2
                                        << "modbus-tcp: unknown option '-x'";
        QTest::newRow("two addresses") << QStringList{"plc1", "plc2"} << QString() << 2
                                       << "modbus-tcp: one address at most, not 'plc2' as well";
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, address);
        QFETCH(int, exitCode);
        QFETCH(QString, firstLine);
        const CommandLine line = parseCommandLine(arguments);
        QCOMPARE(line.address.value_or(QString()), address);
        QCOMPARE(line.address.has_value(), !address.isNull());
        QCOMPARE(line.exitCode.value_or(-1), exitCode);
        QCOMPARE(line.text.section(u'\n', 0, 0), firstLine);
        // A misuse ends with the usage line, so the reader sees what is accepted.
        QCOMPARE(line.text.endsWith("\nusage: modbus-tcp [ADDRESS]\n"), exitCode == 2);
    }
};

QTEST_APPLESS_MAIN(CommandLineTest)
#include "tst_command_line.moc"
