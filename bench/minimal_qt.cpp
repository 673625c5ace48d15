// The yardstick of the start-up benchmark: the smallest Qt Widgets program that shows a
// window, with the same exit-after-first-paint hook as the tool. Built a second time with
// MINIMAL_WITH_NETWORK, it also holds a QTcpSocket, as the tool does, so that the share of
// Qt Network (and the libraries it pulls in) in the tool's start-up can be told apart.

#include <QApplication>
#include <QEvent>
#include <QLabel>
#ifdef MINIMAL_WITH_NETWORK
#include <QTcpSocket>
#endif

namespace {

// With MODBUS_TCP_EXIT_AFTER_FIRST_PAINT=1 the program quits once its window has painted
// for the first time, so that start-up can be timed from outside.
class ExitAfterFirstPaint : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Modbus TCP"));
#ifdef MINIMAL_WITH_NETWORK
    QTcpSocket socket;
#endif
    if (qEnvironmentVariableIntValue("MODBUS_TCP_EXIT_AFTER_FIRST_PAINT") == 1)
        label.installEventFilter(new ExitAfterFirstPaint(&label));
    label.show();
    return app.exec();
}
