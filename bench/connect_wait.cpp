// CPU spent by the window while it waits the two seconds of a connect that gets no answer
// (a refused one ends at once): the wait must sleep in the event loop, not spin.

#include "bench_common.h"
#include "bench_window.h"
#include "unanswered_port.h"

#include "workflow/form1.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    const int attempts = argc > 1 ? std::atoi(argv[1]) : 5;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Form1 form(bench::windowServices());
    form.show();

    UnansweredPort silent;
    const quint16 port = silent.open();
    if (port == 0) {
        std::fprintf(stderr, "bench_connect_wait: no loopback port that leaves a connect unanswered\n");
        return 1;
    }
    form.txtIP->setText(QStringLiteral("127.0.0.1:%1").arg(port));

    // The first attempt also pays for loading the network code; it is not part of the wait.
    form.cmdConnect_Click();
    std::vector<double> cpu, wall;
    for (int i = 0; i < attempts; ++i) {
        const double c0 = bench::cpuSeconds();
        const double w0 = bench::nowSeconds();
        form.cmdConnect_Click();
        wall.push_back(bench::nowSeconds() - w0);
        cpu.push_back(bench::cpuSeconds() - c0);
        if (form.Winsock1.State() == SocketControl::Connected) {
            std::fprintf(stderr, "bench_connect_wait: port %u accepted the connection\n", port);
            return 1;
        }
    }
    std::fprintf(stderr, "connect wait: status \"%s\"; CPU per attempt:", qPrintable(form.lblStatus->text()));
    for (double c : cpu)
        std::fprintf(stderr, " %.4f", c);
    std::fprintf(stderr, " s\n");

    const double cpuMedian = bench::median(cpu);
    bench::row("Connect wait, unanswered connect, CPU user+sys (median of " + std::to_string(attempts) + ")",
               bench::fixed(cpuMedian, 4) + " s in " + bench::fixed(bench::median(wall), 2) + " s", "—",
               bench::fixed(cpuMedian, 4) + " s", "≤ 0.01 s", bench::verdict(cpuMedian <= 0.01));
    return 0;
}
