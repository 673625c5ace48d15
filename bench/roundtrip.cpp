// Round trips through the tool's own path (the sender, the socket, the simulator, the reply
// handler, the boxes and the status line of a shown window) against a plain libmodbus client
// on the same simulator. The two sides take turns batch by batch, each pair in alternating
// order, so that whatever the machine does meanwhile falls on both. A third client, a bare
// QTcpSocket on the same event loop that only sends the request and waits for the reply's
// bytes, runs in the same turns: it is the floor the toolkit sets under the tool.

#include "bench_common.h"
#include "bench_window.h"

#include "exchange/framing.h"
#include "exchange/status.h"
#include "workflow/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTcpSocket>

#include <modbus.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string host = "127.0.0.1";
    int port = 0;
    int rtuPort = 0;      // a simulator serving RTU framing over TCP, for the framing's own rows
    int rtuFloorPort = 0; // another, for the bare socket: each serves one client, as a line does
    int count = 20000;    // requests per side and kind
    int batch = 500;
    int warmup = 500;
    std::vector<std::string> kinds{"read-holding", "read-coils", "write-holding"};
};

void usage()
{
    std::fprintf(stderr,
                 "usage: bench_roundtrip --port N [--rtu-port N --rtu-floor-port N] [--host ADDR] [--count N]\n"
                 "                       [--batch N] [--warmup N]\n"
                 "                       [--kinds read-holding,read-coils,write-holding]\n");
    std::exit(2);
}

Options parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            usage();
        const std::string value = argv[++i];
        if (arg == "--host")
            o.host = value;
        else if (arg == "--port")
            o.port = std::atoi(value.c_str());
        else if (arg == "--rtu-port")
            o.rtuPort = std::atoi(value.c_str());
        else if (arg == "--rtu-floor-port")
            o.rtuFloorPort = std::atoi(value.c_str());
        else if (arg == "--count")
            o.count = std::atoi(value.c_str());
        else if (arg == "--batch")
            o.batch = std::atoi(value.c_str());
        else if (arg == "--warmup")
            o.warmup = std::atoi(value.c_str());
        else if (arg == "--kinds") {
            o.kinds.clear();
            std::size_t from = 0;
            while (from <= value.size()) {
                const std::size_t comma = value.find(',', from);
                o.kinds.push_back(value.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
                if (comma == std::string::npos)
                    break;
                from = comma + 1;
            }
        } else
            usage();
    }
    if (o.port <= 0 || (o.rtuPort > 0) != (o.rtuFloorPort > 0) || o.count <= 0 || o.batch <= 0 || o.count < o.batch)
        usage();
    return o;
}

// Writes go to registers 100..115 with the values they already hold, so the reads of 0..15
// see the simulator's start pattern throughout.
constexpr int WriteStart = 100;

struct Kind {
    std::string name;  // command-line name
    std::string label; // in the table
    std::function<void(Form1 &)> prepare;
    std::function<void(Form1 &)> send;
    QString doneStatus;
    std::function<bool(Form1 &)> boxesRight;
    std::function<bool(modbus_t *)> libmodbusRequest;
    QByteArray rawRequest; // the same request, for the bare socket
    int replySize;
};

QByteArray writeRequest()
{
    QByteArray b = QByteArray::fromHex("000000000027011000640010 20");
    for (int k = 0; k < 16; ++k) {
        b.append(char(0));
        b.append(char(WriteStart + k));
    }
    return b;
}

std::vector<Kind> kinds()
{
    static uint16_t regs[16];
    static uint8_t bits[16];
    static uint16_t writeValues[16];
    for (int k = 0; k < 16; ++k)
        writeValues[k] = uint16_t(WriteStart + k);
    return {
        {"read-holding", "read of 16 holding registers",
         [](Form1 &f) {
             f.txtStartReg->setText(QStringLiteral("0"));
             f.txtLengthReg->setText(QStringLiteral("16"));
         },
         [](Form1 &f) { f.exchange().ReadHolding(); }, msg::RegistersRead,
         [](Form1 &f) { return f.txtReg[15]->text() == QStringLiteral("15"); },
         [](modbus_t *c) { return modbus_read_registers(c, 0, 16, regs) == 16; },
         QByteArray::fromHex("000000000006010300000010"), 9 + 32},
        {"read-coils", "read of 16 coils",
         [](Form1 &f) {
             f.txtStartReg->setText(QStringLiteral("0"));
             f.txtLengthReg->setText(QStringLiteral("16"));
         },
         [](Form1 &f) { f.exchange().ReadCoils(); }, msg::RegistersRead,
         [](Form1 &f) {
             return f.txtReg[15]->text() == QStringLiteral("1") && f.txtReg[14]->text() == QStringLiteral("0");
         },
         [](modbus_t *c) { return modbus_read_bits(c, 0, 16, bits) == 16; },
         QByteArray::fromHex("000000000006010100000010"), 9 + 2},
        {"write-holding", "write of 16 holding registers",
         [](Form1 &f) {
             f.txtStartReg->setText(QString::number(WriteStart));
             f.txtLengthReg->setText(QStringLiteral("16"));
             for (int k = 0; k < 16; ++k)
                 f.txtReg[k]->setText(QString::number(WriteStart + k));
         },
         [](Form1 &f) { f.exchange().WriteHolding(); }, msg::RegistersWritten, [](Form1 &) { return true; },
         [](modbus_t *c) { return modbus_write_registers(c, WriteStart, 16, writeValues) == 16; }, writeRequest(), 12},
    };
}

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_roundtrip: %s\n", what.c_str());
    std::exit(1);
}

// One batch through the window: send, then let the event loop run (sleeping in poll, as the
// tool does) until the reply handler has stopped the reply timeout.
void toolBatch(Form1 &form, const Kind &kind, int n, std::vector<double> &latencies)
{
    for (int i = 0; i < n; ++i) {
        const double t0 = bench::nowSeconds();
        kind.send(form);
        while (form.TimerTO.isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        latencies.push_back(bench::nowSeconds() - t0);
        if (form.lblStatus->text() != kind.doneStatus)
            fail("the window shows \"" + form.lblStatus->text().toStdString() + "\" after a " + kind.name);
    }
    if (!kind.boxesRight(form))
        fail("the boxes do not show what the simulator holds after a " + kind.name);
}

void libmodbusBatch(modbus_t *ctx, const Kind &kind, int n, std::vector<double> &latencies)
{
    for (int i = 0; i < n; ++i) {
        const double t0 = bench::nowSeconds();
        if (!kind.libmodbusRequest(ctx))
            fail(std::string("libmodbus ") + kind.name + ": " + modbus_strerror(errno));
        latencies.push_back(bench::nowSeconds() - t0);
    }
}

void floorBatch(QTcpSocket &socket, const Kind &kind, int n, std::vector<double> &latencies)
{
    for (int i = 0; i < n; ++i) {
        const double t0 = bench::nowSeconds();
        socket.write(kind.rawRequest);
        socket.flush();
        while (socket.bytesAvailable() < kind.replySize)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (socket.read(kind.replySize).size() != kind.replySize)
            fail("the bare socket lost its reply");
        latencies.push_back(bench::nowSeconds() - t0);
    }
}

void connectBare(QTcpSocket &socket, const std::string &host, int port)
{
    socket.connectToHost(QString::fromStdString(host), quint16(port));
    if (!socket.waitForConnected(2000))
        fail("the bare socket could not connect to port " + std::to_string(port));
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

std::string micro(double seconds) { return bench::fixed(seconds * 1e6, 1) + " µs"; }

void run(Form1 &form, modbus_t *ctx, QTcpSocket &bare, const Kind &kind, const Options &o)
{
    kind.prepare(form);
    std::vector<double> scratch;
    toolBatch(form, kind, o.warmup, scratch);
    libmodbusBatch(ctx, kind, o.warmup, scratch);
    floorBatch(bare, kind, o.warmup, scratch);

    const int batches = o.count / o.batch;
    std::vector<double> toolAll, libAll, floorAll, meanRatios, p99Ratios, floorRatios;
    for (int b = 0; b < batches; ++b) {
        std::vector<double> t, l, f;
        t.reserve(o.batch);
        l.reserve(o.batch);
        f.reserve(o.batch);
        if (b % 2 == 0) {
            toolBatch(form, kind, o.batch, t);
            libmodbusBatch(ctx, kind, o.batch, l);
            floorBatch(bare, kind, o.batch, f);
        } else {
            floorBatch(bare, kind, o.batch, f);
            libmodbusBatch(ctx, kind, o.batch, l);
            toolBatch(form, kind, o.batch, t);
        }
        meanRatios.push_back(bench::mean(t) / bench::mean(l));
        p99Ratios.push_back(bench::percentile(t, 99) / bench::percentile(l, 99));
        floorRatios.push_back(bench::mean(f) / bench::mean(l));
        toolAll.insert(toolAll.end(), t.begin(), t.end());
        libAll.insert(libAll.end(), l.begin(), l.end());
        floorAll.insert(floorAll.end(), f.begin(), f.end());
    }

    const double meanRatio = bench::median(meanRatios);
    const double p99Ratio = bench::median(p99Ratios);
    std::fprintf(stderr,
                 "%s: %d pairs of %d; per-pair mean ratio %.3f..%.3f, median %.3f; "
                 "tool median %.1f µs, libmodbus median %.1f µs, bare socket median %.1f µs; "
                 "overall p99 ratio %.3f\n",
                 kind.name.c_str(), batches, o.batch, *std::min_element(meanRatios.begin(), meanRatios.end()),
                 *std::max_element(meanRatios.begin(), meanRatios.end()), meanRatio, bench::median(toolAll) * 1e6,
                 bench::median(libAll) * 1e6, bench::median(floorAll) * 1e6,
                 bench::percentile(toolAll, 99) / bench::percentile(libAll, 99));
    const std::string what = "Round trip, " + kind.label;
    bench::row(what + ", mean", micro(bench::mean(toolAll)), micro(bench::mean(libAll)), bench::fixed(meanRatio, 2),
               "≤ 1.3", bench::verdict(meanRatio <= 1.3));
    bench::row(what + ", p99", micro(bench::percentile(toolAll, 99)), micro(bench::percentile(libAll, 99)),
               bench::fixed(p99Ratio, 2), "≤ 1.3", bench::verdict(p99Ratio <= 1.3));
    const double floorRatio = bench::median(floorRatios);
    bench::row(what + ", mean, bare QTcpSocket (toolkit floor)", micro(bench::mean(floorAll)),
               micro(bench::mean(libAll)), bench::fixed(floorRatio, 2), "—", "—");
}

// The same read through the tool in Modbus RTU framing over TCP (one request at a time, the
// CRC computed and checked) against Modbus TCP, batch by batch in rotating order: what the
// framing costs the operator's round trip. A bare socket on each simulator gives its floor:
// the RTU simulator passes every frame across a socket pair to libmodbus and back, so
// the tool is also measured against the floor of its own framing.
void runRtu(Form1 &tcp, Form1 &rtu, QTcpSocket &bareTcp, QTcpSocket &bareRtu, const Kind &tcpKind, const Options &o)
{
    Kind rtuKind = tcpKind;
    rtuKind.rawRequest = framing::ModbusRtu.wrap(tcpKind.rawRequest.mid(7), 1, 0);
    rtuKind.replySize = tcpKind.replySize - 9 + 5; // unit, function code, byte count, CRC
    tcpKind.prepare(tcp);
    rtuKind.prepare(rtu);
    std::vector<double> scratch;
    toolBatch(tcp, tcpKind, o.warmup, scratch);
    toolBatch(rtu, rtuKind, o.warmup, scratch);
    floorBatch(bareTcp, tcpKind, o.warmup, scratch);
    floorBatch(bareRtu, rtuKind, o.warmup, scratch);
    const int batches = o.count / o.batch;
    std::vector<double> tcpAll, rtuAll, ratios, ownRatios, floorTcpAll, floorRtuAll;
    for (int b = 0; b < batches; ++b) {
        std::vector<double> t, r, ft, fr;
        const std::function<void()> steps[] = {[&] { toolBatch(tcp, tcpKind, o.batch, t); },
                                               [&] { toolBatch(rtu, rtuKind, o.batch, r); },
                                               [&] { floorBatch(bareTcp, tcpKind, o.batch, ft); },
                                               [&] { floorBatch(bareRtu, rtuKind, o.batch, fr); }};
        for (int i = 0; i < 4; ++i)
            steps[(b + i) % 4]();
        ratios.push_back(bench::mean(r) / bench::mean(t));
        ownRatios.push_back((bench::mean(r) / bench::mean(fr)) / (bench::mean(t) / bench::mean(ft)));
        tcpAll.insert(tcpAll.end(), t.begin(), t.end());
        rtuAll.insert(rtuAll.end(), r.begin(), r.end());
        floorTcpAll.insert(floorTcpAll.end(), ft.begin(), ft.end());
        floorRtuAll.insert(floorRtuAll.end(), fr.begin(), fr.end());
    }
    const double ratio = bench::median(ratios);
    const double own = bench::median(ownRatios);
    std::fprintf(stderr,
                 "%s in RTU framing: %d rounds of %d; medians: tool RTU %.1f µs, tool Modbus TCP %.1f µs, "
                 "bare socket RTU %.1f µs, bare socket Modbus TCP %.1f µs\n",
                 tcpKind.name.c_str(), batches, o.batch, bench::median(rtuAll) * 1e6, bench::median(tcpAll) * 1e6,
                 bench::median(floorRtuAll) * 1e6, bench::median(floorTcpAll) * 1e6);
    const std::string what = "Round trip, " + tcpKind.label + ", Modbus RTU over TCP against Modbus TCP";
    bench::row(what + ", mean", micro(bench::mean(rtuAll)), micro(bench::mean(tcpAll)), bench::fixed(ratio, 2), "≤ 1.1",
               bench::verdict(ratio <= 1.1));
    // Each framing's tool round trip over its bare socket's on the same simulator: how much of
    // the floor the tool adds in RTU framing against in Modbus TCP.
    bench::row(what + ", each over the bare socket on its simulator",
               bench::fixed(bench::mean(rtuAll) / bench::mean(floorRtuAll), 2) + " × floor",
               bench::fixed(bench::mean(tcpAll) / bench::mean(floorTcpAll), 2) + " × floor", bench::fixed(own, 2),
               "≤ 1.1", bench::verdict(own <= 1.1));
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = parse(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Form1 form(bench::windowServices());
    form.show();
    form.txtIP->setText(QString::fromStdString(o.host) + QLatin1Char(':') + QString::number(o.port));
    form.cmdConnect_Click();
    if (form.Winsock1.State() != SocketControl::Connected)
        fail("the window could not connect to " + form.txtIP->text().toStdString());

    modbus_t *ctx = modbus_new_tcp(o.host.c_str(), o.port);
    if (!ctx || modbus_connect(ctx) != 0)
        fail(std::string("libmodbus could not connect: ") + modbus_strerror(errno));

    QTcpSocket bare;
    connectBare(bare, o.host, o.port);

    for (const std::string &name : o.kinds) {
        bool found = false;
        for (const Kind &kind : kinds()) {
            if (kind.name == name) {
                run(form, ctx, bare, kind, o);
                found = true;
            }
        }
        if (!found)
            fail("unknown kind " + name);
    }

    if (o.rtuPort > 0) {
        Form1 rtu(bench::windowServices());
        rtu.show();
        rtu.txtIP->setText(QStringLiteral("rtu://%1:%2").arg(QString::fromStdString(o.host)).arg(o.rtuPort));
        rtu.cmdConnect_Click();
        if (rtu.Winsock1.State() != SocketControl::Connected)
            fail("the window could not connect to " + rtu.txtIP->text().toStdString());
        QTcpSocket bareRtu;
        connectBare(bareRtu, o.host, o.rtuFloorPort);
        runRtu(form, rtu, bare, bareRtu, kinds().front(), o);
        rtu.cmdDisconnect_Click();
    }

    modbus_close(ctx);
    modbus_free(ctx);
    form.cmdDisconnect_Click();
    return 0;
}
