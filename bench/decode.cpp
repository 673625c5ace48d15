// Reassembly and decoding of a reply of 16 holding registers, without the network: the
// pure framing and decoding, the whole reply handler over a fake socket with plain-string
// controls, and the same handler filling the real window's boxes. Each reply answers a
// request of its own, as on the wire, so the handler runs its whole path every time.

#include "bench_common.h"
#include "exchange_fakes.h"
#include "fake_services.h"

#include "exchange/framing.h"
#include "exchange/tables.h"
#include "exchange/exchange.h"
#include "exchange/reply_decoder.h"
#include "exchange/sent_request.h"
#include "workflow/form1.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <map>

namespace {

// Transaction 0, protocol 0, length 35, unit 1, function 3, 32 data bytes: registers 0..15.
QByteArray reply16()
{
    QByteArray b = QByteArray::fromHex("00000000002301 03 20");
    for (int k = 0; k < 16; ++k) {
        b.append(char(0));
        b.append(char(k));
    }
    return b;
}

// The reply to the request the exchange sent last, with its transaction id.
QByteArray answer(const FakeSocket &socket, const QByteArray &reply)
{
    return socket.sent.last().left(2) + reply.mid(2);
}

void BM_TakeFrameAndDecode(benchmark::State &state)
{
    const QByteArray reply = reply16();
    SentRequest read;
    read.pdu = QByteArray::fromHex("0300000010");
    read.table = &table::HoldingRegisters;
    QByteArray pending;
    for (auto _ : state) {
        pending.append(reply);
        const framing::Framed frame = framing::ModbusTcp.take(pending);
        ReplyOutcome outcome = decodeReply(frame.pdu, read);
        benchmark::DoNotOptimize(outcome);
    }
    if (!pending.isEmpty())
        state.SkipWithError("reassembly left bytes behind");
}
BENCHMARK(BM_TakeFrameAndDecode);

void BM_DataArrivalPlainControls(benchmark::State &state)
{
    const QByteArray reply = reply16();
    FakeControls controls;
    controls.recordStatuses = false;
    FakeSocket socket;
    RecordingServices services;
    FakeAlarm alarm(services);
    ModbusExchange exchange(controls, socket, alarm, services);
    for (auto _ : state) {
        exchange.ReadHolding();
        socket.waiting = answer(socket, reply);
        exchange.Winsock1_DataArrival(qint32(reply.size()));
        socket.sent.clear();
    }
    if (controls.boxes[15] != QStringLiteral("15") || alarm.running)
        state.SkipWithError("the reply was not taken");
}
BENCHMARK(BM_DataArrivalPlainControls);

void BM_DataArrivalWindow(benchmark::State &state)
{
    const QByteArray reply = reply16();
    FakeSocket socket;
    Form1 form(std::make_unique<RecordingServices>(), &socket);
    for (auto _ : state) {
        form.exchange().ReadHolding();
        socket.waiting = answer(socket, reply);
        form.exchange().Winsock1_DataArrival(qint32(reply.size()));
        socket.sent.clear();
    }
    if (form.boxText(15) != QStringLiteral("15"))
        state.SkipWithError("the reply was not taken");
}
BENCHMARK(BM_DataArrivalWindow);

// Prints the usual console table, then one summary row per benchmark with the median of
// the repetitions. CPU time, not wall time: on a loaded machine the wall clock also counts
// the time other processes held the core.
class RowReporter : public benchmark::ConsoleReporter
{
public:
    RowReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median")
                continue;
            const std::string name = run.run_name.function_name;
            // A later median replaces the single runs of the same benchmark.
            auto known = std::find_if(medians.begin(), medians.end(), [&](const auto &m) { return m.first == name; });
            if (known == medians.end())
                medians.emplace_back(name, run.GetAdjustedCPUTime());
            else if (run.run_type == Run::RT_Aggregate)
                known->second = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const std::map<std::string, std::string> labels{
            {"BM_TakeFrameAndDecode", "Decoding, framing::ModbusTcp.take + decodeReply"},
            {"BM_DataArrivalPlainControls", "ReadHolding + Winsock1_DataArrival, fake socket, plain controls"},
            {"BM_DataArrivalWindow", "ReadHolding + Winsock1_DataArrival, fake socket, the window's boxes"},
        };
        for (const auto &[name, ns] : medians) {
            const auto label = labels.find(name);
            bench::row(label == labels.end() ? name : label->second, bench::fixed(ns, 0) + " ns/reply", "—", "—",
                       "report", "—");
        }
    }

private:
    std::vector<std::pair<std::string, double>> medians; // in the order they ran
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    // The table goes to stdout for scripts/bench.sh; the console report to stderr.
    RowReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
