#include "command_line.h"

namespace {
const QString Usage = QStringLiteral("usage: modbus-tcp [ADDRESS]\n");
const QString Help = QStringLiteral(
    "\n"
    "Opens the Modbus TCP test tool's window. ADDRESS fills the IP Address box, as\n"
    "typed there: 192.168.0.10, plc1, host:port, [IPv6]:port, with #N for a unit\n"
    "behind a gateway, and rtu://host:port for a serial device behind a converter\n"
    "that passes Modbus RTU frames. Without it the box holds 127.0.0.1.\n"
    "\n"
    "  -h, --help  show this text\n");

CommandLine misuse(const QString &why) { return {{}, 2, "modbus-tcp: " + why + '\n' + Usage}; }
} // namespace

CommandLine parseCommandLine(const QStringList &arguments)
{
    CommandLine line;
    for (const QString &argument : arguments) {
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return {{}, 0, Usage + Help};
        // No address or host name starts with a dash: this can only be a mistyped option.
        if (argument.startsWith(u'-'))
            return misuse("unknown option '" + argument + "'");
        if (line.address)
            return misuse(QStringLiteral("one address at most, not '%1' as well").arg(argument));
        line.address = argument;
    }
    return line;
}
