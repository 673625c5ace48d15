// Start-up, from process start to the window's first paint and the exit right after it:
// the tool against the minimal Qt Widgets program, run in turn pair by pair. Each run's wall
// time is taken around posix_spawn and wait4; its CPU time and peak resident set come from
// the child's rusage. A third program, the minimal one holding a QTcpSocket, may run in the
// same turns: it shows how much of the difference Qt Network alone accounts for.

#include "bench_common.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char **environ;

namespace {

struct Sample {
    double wall = 0; // seconds
    double cpu = 0;  // user + system seconds
    double rssMiB = 0;
};

volatile pid_t running = 0;

void onAlarm(int)
{
    if (running > 0)
        kill(running, SIGKILL);
}

[[noreturn]] void fail(const std::string &what)
{
    std::fprintf(stderr, "bench_startup: %s\n", what.c_str());
    std::exit(1);
}

Sample runOnce(const char *program)
{
    char *argv[] = {const_cast<char *>(program), nullptr};
    const double t0 = bench::nowSeconds();
    pid_t pid;
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        fail(std::string("cannot start ") + program);
    running = pid;
    alarm(30); // a window that never paints must not hang the benchmark
    int status = 0;
    rusage usage{};
    const pid_t done = wait4(pid, &status, 0, &usage);
    const double t1 = bench::nowSeconds();
    alarm(0);
    running = 0;
    if (done != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        fail(std::string(program) + " did not exit cleanly after its first paint");
    auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return {t1 - t0, s(usage.ru_utime) + s(usage.ru_stime), double(usage.ru_maxrss) / 1024.0};
}

std::string ms(double seconds) { return bench::fixed(seconds * 1e3, 1) + " ms"; }

struct Ratios {
    std::vector<double> wall, cpu, rssExtra;
    void add(const Sample &a, const Sample &b)
    {
        wall.push_back(a.wall / b.wall);
        cpu.push_back(a.cpu / b.cpu);
        rssExtra.push_back(a.rssMiB - b.rssMiB);
    }
};

std::vector<double> column(const std::vector<Sample> &v, double Sample::*field)
{
    std::vector<double> out;
    for (const Sample &s : v)
        out.push_back(s.*field);
    return out;
}

std::string mib(double v) { return bench::fixed(v, 1) + " MiB"; }

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5 && argc != 6) {
        std::fprintf(stderr, "usage: bench_startup RUNS WARMUP TOOL MINIMAL [MINIMAL_WITH_NETWORK]\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const int warmup = std::atoi(argv[2]);
    const char *tool = argv[3];
    const char *minimal = argv[4];
    const char *network = argc == 6 ? argv[5] : nullptr;
    if (runs <= 0 || warmup < 0)
        return 2;
    if (std::getenv("DISPLAY") == nullptr)
        fail("needs an X display (scripts/bench.sh starts Xvfb)");
    setenv("MODBUS_TCP_EXIT_AFTER_FIRST_PAINT", "1", 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    struct sigaction alarmAction {};
    alarmAction.sa_handler = onAlarm;
    sigaction(SIGALRM, &alarmAction, nullptr);

    for (int i = 0; i < warmup; ++i) {
        runOnce(tool);
        runOnce(minimal);
        if (network)
            runOnce(network);
    }

    std::vector<Sample> t, m, n;
    Ratios vsMinimal, vsNetwork;
    for (int i = 0; i < runs; ++i) {
        Sample a, b, c;
        if (i % 2 == 0) {
            a = runOnce(tool);
            b = runOnce(minimal);
            if (network)
                c = runOnce(network);
        } else {
            if (network)
                c = runOnce(network);
            b = runOnce(minimal);
            a = runOnce(tool);
        }
        t.push_back(a);
        m.push_back(b);
        vsMinimal.add(a, b);
        if (network) {
            n.push_back(c);
            vsNetwork.add(a, c);
        }
    }

    const double wallRatio = bench::median(vsMinimal.wall);
    const double cpuRatio = bench::median(vsMinimal.cpu);
    const double extra = bench::median(vsMinimal.rssExtra);
    std::fprintf(stderr, "start-up: %d pairs; wall ratio %.3f..%.3f, cpu ratio %.3f..%.3f\n", runs,
                 *std::min_element(vsMinimal.wall.begin(), vsMinimal.wall.end()),
                 *std::max_element(vsMinimal.wall.begin(), vsMinimal.wall.end()),
                 *std::min_element(vsMinimal.cpu.begin(), vsMinimal.cpu.end()),
                 *std::max_element(vsMinimal.cpu.begin(), vsMinimal.cpu.end()));
    bench::row("Start-up to first paint, wall (median)", ms(bench::median(column(t, &Sample::wall))),
               ms(bench::median(column(m, &Sample::wall))), bench::fixed(wallRatio, 2), "≤ 1.2",
               bench::verdict(wallRatio <= 1.2));
    bench::row("Start-up to first paint, CPU user+sys (median)", ms(bench::median(column(t, &Sample::cpu))),
               ms(bench::median(column(m, &Sample::cpu))), bench::fixed(cpuRatio, 2), "≤ 1.2",
               bench::verdict(cpuRatio <= 1.2));
    bench::row("Start-up, peak RSS (median)", mib(bench::median(column(t, &Sample::rssMiB))),
               mib(bench::median(column(m, &Sample::rssMiB))), "+" + mib(extra), "≤ +5 MiB",
               bench::verdict(extra <= 5.0));
    if (network) {
        const std::string against = ", against the minimal program holding a QTcpSocket";
        bench::row("Start-up, wall" + against, ms(bench::median(column(t, &Sample::wall))),
                   ms(bench::median(column(n, &Sample::wall))), bench::fixed(bench::median(vsNetwork.wall), 2), "—",
                   "—");
        bench::row("Start-up, CPU" + against, ms(bench::median(column(t, &Sample::cpu))),
                   ms(bench::median(column(n, &Sample::cpu))), bench::fixed(bench::median(vsNetwork.cpu), 2), "—", "—");
        bench::row("Start-up, peak RSS" + against, mib(bench::median(column(t, &Sample::rssMiB))),
                   mib(bench::median(column(n, &Sample::rssMiB))), "+" + mib(bench::median(vsNetwork.rssExtra)), "—",
                   "—");
    }
    return 0;
}
