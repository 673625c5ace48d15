#include "workflow/app_icon.h"
#include "workflow/form1.h"

#include <QApplication>
#include <QEvent>

namespace {

// With MODBUS_TCP_EXIT_AFTER_FIRST_PAINT=1 the program quits once its window has painted
// for the first time, so that the benchmark can time start-up from outside. Nothing else
// changes: the window is built and shown exactly as always.
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
    QApplication::setApplicationName(QStringLiteral("modbus-tcp"));
    QApplication::setDesktopFileName(AppId);

    Form1 form;
    // The window has drawn the icon already: the application shares it rather than drawing
    // and holding a second copy of every size.
    QApplication::setWindowIcon(form.windowIcon());
    if (qEnvironmentVariableIntValue("MODBUS_TCP_EXIT_AFTER_FIRST_PAINT") == 1)
        form.installEventFilter(new ExitAfterFirstPaint(&form));
    form.show();
    return app.exec();
}
