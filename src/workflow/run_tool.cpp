#include "run_tool.h"

#include "app_icon.h"
#include "form1.h"
#include "platform/prompt_exit.h"

#include <QApplication>

int runTool(int argc, char **argv, const std::function<void(QWidget &window)> &beforeShow)
{
    // argc lives in this frame as long as the application does, which is what Qt asks of it.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("modbus-tcp"));
    QApplication::setDesktopFileName(AppId);

    Form1 form;
    // The window has drawn the icon already: the application shares it rather than drawing
    // and holding a second copy of every size.
    QApplication::setWindowIcon(form.windowIcon());
    if (beforeShow)
        beforeShow(form);
    form.show();
    return endWithin(std::chrono::milliseconds(500), app.exec());
}
