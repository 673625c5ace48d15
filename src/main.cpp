#include "platform/prompt_exit.h"
#include "workflow/app_icon.h"
#include "workflow/form1.h"

#ifdef MODBUS_TCP_FIRST_PAINT_HOOK
#include "exit_after_first_paint.h"
#endif

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("modbus-tcp"));
    QApplication::setDesktopFileName(AppId);

    Form1 form;
    // The window has drawn the icon already: the application shares it rather than drawing
    // and holding a second copy of every size.
    QApplication::setWindowIcon(form.windowIcon());
#ifdef MODBUS_TCP_FIRST_PAINT_HOOK
    // Only in the benchmark's build of the program, which times start-up from outside.
    ExitAfterFirstPaint::installIfAsked(&form);
#endif
    form.show();
    return endWithin(std::chrono::milliseconds(500), app.exec());
}
