#include "platform/exit_after_first_paint.h"
#include "platform/prompt_exit.h"
#include "workflow/app_icon.h"
#include "workflow/form1.h"

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
    ExitAfterFirstPaint::installIfAsked(&form);
    form.show();
    return endWithin(std::chrono::milliseconds(500), app.exec());
}
