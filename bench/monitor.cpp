// CPU spent by the tool while it monitors the simulator: the real window on the display
// (Xvfb in scripts/bench.sh), real message boxes and socket, connected and clicked into
// monitoring as an operator would, then measured over the monitoring period alone.

#include "bench_common.h"

#include "workflow/form1.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <string>

namespace {

void runEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The measured period, apart so that a profiler can be told to look at it alone
// (valgrind --tool=callgrind --toggle-collect='*monitorFor*').
[[gnu::noinline]] double monitorFor(int ms)
{
    rusage process0{}, thread0{}, process1{}, thread1{};
    getrusage(RUSAGE_SELF, &process0);
    getrusage(RUSAGE_THREAD, &thread0);
    runEventsFor(ms);
    getrusage(RUSAGE_SELF, &process1);
    getrusage(RUSAGE_THREAD, &thread1);
    auto s = [](const timeval &a, const timeval &b) {
        return double(b.tv_sec - a.tv_sec) + double(b.tv_usec - a.tv_usec) / 1e6;
    };
    const double user = s(thread0.ru_utime, thread1.ru_utime);
    const double sys = s(thread0.ru_stime, thread1.ru_stime);
    const double all = s(process0.ru_utime, process1.ru_utime) + s(process0.ru_stime, process1.ru_stime);
    std::fprintf(stderr,
                 "monitoring: window's thread %.4f s user + %.4f s system, the toolkit's other threads %.4f s; "
                 "%ld voluntary context switches\n",
                 user, sys, all - user - sys, process1.ru_nvcsw - process0.ru_nvcsw);
    return all;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_monitor HOST PORT [SECONDS]\n");
        return 2;
    }
    const QString address = QString::fromLocal8Bit(argv[1]) + QLatin1Char(':') + QString::fromLocal8Bit(argv[2]);
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 30;
    QApplication app(argc, argv);

    Form1 form;
    form.show();
    runEventsFor(1000); // start-up settles: mapped, exposed, painted

    form.txtIP->setText(address);
    form.cmdConnect->click();
    if (form.Winsock1.State() != SocketControl::Connected) {
        std::fprintf(stderr, "bench_monitor: could not connect to %s\n", qPrintable(address));
        return 1;
    }
    int replies = 0;
    QObject::connect(&form.Winsock1, &SocketControl::DataArrival, &form, [&replies] { ++replies; });

    form.cmdRealtime->click();
    const double cpu = monitorFor(seconds * 1000);
    form.cmdRealtime->click();

    std::fprintf(stderr, "monitoring: %d replies in %d s, status \"%s\", box 0 \"%s\"\n", replies, seconds,
                 qPrintable(form.lblStatus->text()), qPrintable(form.txtReg[0]->text()));
    if (replies < seconds - 2) {
        std::fprintf(stderr, "bench_monitor: too few replies\n");
        return 1;
    }
    bench::row("Monitoring, CPU user+sys over " + std::to_string(seconds) + " s (" + std::to_string(replies)
                   + " reads, window on Xvfb)",
               bench::fixed(cpu, 3) + " s", "—", bench::fixed(cpu, 3) + " s", "≤ 0.05 s", bench::verdict(cpu <= 0.05));
    return 0;
}
