// The yardstick of the start-up benchmark: the smallest Qt Widgets program that shows a
// window, with the same exit-after-first-paint hook as the tool. Built a second time with
// MINIMAL_WITH_NETWORK, it also holds a QTcpSocket, as the tool does, so that the share of
// Qt Network (and the libraries it pulls in) in the tool's start-up can be told apart.

#include "exit_after_first_paint.h"

#include <QApplication>
#include <QLabel>
#ifdef MINIMAL_WITH_NETWORK
#include <QTcpSocket>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Modbus TCP"));
#ifdef MINIMAL_WITH_NETWORK
    QTcpSocket socket;
#endif
    ExitAfterFirstPaint::installIfAsked(&label);
    label.show();
    return app.exec();
}
