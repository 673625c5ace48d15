// modbus-sim: a Modbus TCP device, or with --rtu a serial one behind a converter, to
// point the client at, with values that are easy to recognise and, on request,
// replies that are deliberately wrong.

#include "rtu_server.h"
#include "server.h"

#include <modbus.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int RegisterCount = 65536;
constexpr int ListenBacklog = 64;
constexpr int MeterVoltageAt = 20;

struct Options {
    std::string host = "127.0.0.1";
    int port = 502;
    bool live = false;
    bool hostile = false;
    bool rtu = false;
    bool help = false;
};

constexpr const char *Usage =
    "usage: modbus-sim [--host ADDR] [--port N] [--live] [--hostile] [--rtu] [--help]\n"
    "\n"
    "A Modbus TCP server with 65536 coils, discrete inputs, holding registers and\n"
    "input registers. Holding and input register k hold k, coil k is 1 when k is a\n"
    "multiple of 3, discrete input k is k mod 2. Input registers 20 and 21 hold a\n"
    "meter's voltage instead, 230.5 as a 32-bit float, high word first: 0x4366\n"
    "0x8000 (30021 and 30022 in a manual's numbering). It answers requests for\n"
    "any unit identifier, as a device on its own does, so a unit picked with\n"
    "host#N in the tool's address box can be tried against it.\n"
    "\n"
    "  --host ADDR  numeric IPv4 or IPv6 address to listen on (default 127.0.0.1)\n"
    "  --port N     TCP port, 0 lets the system pick a free one (default 502)\n"
    "  --live       once a second: holding and input register 0 count up, coil 1\n"
    "               and discrete input 0 toggle\n"
    "  --hostile    reads of holding registers starting at 65000..65006 get broken\n"
    "               replies: slow bytes, exception 4, wrong byte count, silence,\n"
    "               a 4 s delay, trailing junk, a closed connection; with --rtu\n"
    "               65002 is ordinary and 65007 gets a reply with a bad CRC\n"
    "  --rtu        Modbus RTU frames over TCP instead, as a serial device behind a\n"
    "               converter in transparent mode answers them (unit, PDU, CRC, no\n"
    "               MBAP header); the tool's address is rtu://127.0.0.1:1502 for\n"
    "               --port 1502. It answers units 1..247 with their own unit id;\n"
    "               unit 0 is a broadcast: writes are done, nothing is answered.\n"
    "               One client at a time, as a serial line serves one master: a\n"
    "               second is accepted and waits its turn until the first leaves\n"
    "  --help       show this text\n";

int usageError(const std::string &message)
{
    // Only the synopsis: the full text would bury the one line that matters.
    const std::string_view usage(Usage);
    const auto synopsis = usage.substr(0, usage.find('\n') + 1);
    std::fprintf(stderr, "modbus-sim: %s\n%.*s", message.c_str(), int(synopsis.size()), synopsis.data());
    return 2;
}

bool parsePort(std::string_view text, int &port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535)
        return false;
    port = value;
    return true;
}

bool isIpv6(const std::string &host)
{
    in6_addr ignored;
    return inet_pton(AF_INET6, host.c_str(), &ignored) == 1;
}

bool isIpv4(const std::string &host)
{
    in_addr ignored;
    return inet_pton(AF_INET, host.c_str(), &ignored) == 1;
}

// Returns -1 when the options are good, else the exit code after reporting.
int parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool hasValue = false;
        if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.resize(eq);
            hasValue = true;
        }
        const bool takesValue = arg == "--host" || arg == "--port";
        if (!takesValue && hasValue)
            return usageError("option " + arg + " takes no value");
        if (takesValue && !hasValue) {
            if (i + 1 >= argc)
                return usageError("option " + arg + " needs a value");
            value = argv[++i];
        }

        if (arg == "--host") {
            // libmodbus would turn a name into INADDR_NONE without complaint, so only
            // numeric addresses are accepted.
            if (!isIpv4(value) && !isIpv6(value))
                return usageError("--host needs a numeric IPv4 or IPv6 address, not '" + value + "'");
            options.host = value;
        } else if (arg == "--port") {
            if (!parsePort(value, options.port))
                return usageError("--port needs a number from 0 to 65535, not '" + value + "'");
        } else if (arg == "--live") {
            options.live = true;
        } else if (arg == "--hostile") {
            options.hostile = true;
        } else if (arg == "--rtu") {
            options.rtu = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else {
            return usageError("unknown option '" + arg + "'");
        }
    }
    return -1;
}

std::string endpoint(const std::string &host, int port)
{
    return (isIpv6(host) ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

const char *listenHint(int error, int port)
{
    switch (error) {
    case EACCES: return port != 0 && port < 1024 ? " (ports below 1024 need root; try --port 1502)" : "";
    case EADDRINUSE: return " (another server is listening there; try another --port)";
    case EADDRNOTAVAIL: return " (no interface of this machine has that address; try --host 127.0.0.1)";
    default: return "";
    }
}

// The port actually bound, which differs from the requested one for --port 0.
bool boundEndpoint(int fd, std::string &text)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return false;
    char host[INET6_ADDRSTRLEN] = {};
    int port;
    if (address.ss_family == AF_INET6) {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(&address);
        inet_ntop(AF_INET6, &in6->sin6_addr, host, sizeof host);
        port = ntohs(in6->sin6_port);
    } else {
        const auto *in4 = reinterpret_cast<const sockaddr_in *>(&address);
        inet_ntop(AF_INET, &in4->sin_addr, host, sizeof host);
        port = ntohs(in4->sin_port);
    }
    text = endpoint(host, port);
    return true;
}

void fillStartPattern(modbus_mapping_t *mapping)
{
    for (int k = 0; k < RegisterCount; ++k) {
        mapping->tab_registers[k] = static_cast<uint16_t>(k);
        mapping->tab_input_registers[k] = static_cast<uint16_t>(k);
        mapping->tab_bits[k] = k % 3 == 0 ? 1 : 0;
        mapping->tab_input_bits[k] = static_cast<uint8_t>(k % 2);
    }
    // Meters keep their measurements as floats in input registers; a client's float reading
    // can be tried on this one.
    mapping->tab_input_registers[MeterVoltageAt] = 0x4366;
    mapping->tab_input_registers[MeterVoltageAt + 1] = 0x8000;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (const int code = parseOptions(argc, argv, options); code >= 0)
        return code;
    if (options.help) {
        std::fputs(Usage, stdout);
        return 0;
    }

    if (!installStopHandlers()) {
        std::fprintf(stderr, "modbus-sim: cannot set up signal handling: %s\n", std::strerror(errno));
        return 1;
    }

    const bool v6 = isIpv6(options.host);
    modbus_t *ctx = v6 ? modbus_new_tcp_pi(options.host.c_str(), std::to_string(options.port).c_str())
                       : modbus_new_tcp(options.host.c_str(), options.port);
    if (!ctx) {
        std::fprintf(stderr, "modbus-sim: cannot create a Modbus context: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_mapping_t *mapping = modbus_mapping_new(RegisterCount, RegisterCount, RegisterCount, RegisterCount);
    if (!mapping) {
        std::fprintf(stderr, "modbus-sim: cannot allocate the registers: %s\n", modbus_strerror(errno));
        modbus_free(ctx);
        return 1;
    }
    fillStartPattern(mapping);
    RtuLine line;
    if (std::string error; options.rtu && !line.open(error)) {
        std::fprintf(stderr, "modbus-sim: %s\n", error.c_str());
        modbus_mapping_free(mapping);
        modbus_free(ctx);
        return 1;
    }

    const int listenFd = v6 ? modbus_tcp_pi_listen(ctx, ListenBacklog) : modbus_tcp_listen(ctx, ListenBacklog);
    std::string bound;
    if (listenFd < 0 || !boundEndpoint(listenFd, bound)) {
        const int error = errno;
        std::fprintf(stderr, "modbus-sim: cannot listen on %s: %s%s\n", endpoint(options.host, options.port).c_str(),
                     std::strerror(error), listenHint(error, options.port));
        if (listenFd >= 0)
            close(listenFd);
        modbus_mapping_free(mapping);
        modbus_free(ctx);
        return 1;
    }

    std::printf("modbus-sim listening on %s\n", bound.c_str());
    std::fflush(stdout);

    const ServerSettings settings{options.live, options.hostile};
    const int code = options.rtu ? runRtuServer(line, mapping, listenFd, settings)
                                 : runServer(ctx, mapping, listenFd, settings);

    close(listenFd);
    modbus_mapping_free(mapping);
    modbus_free(ctx);
    return code;
}
