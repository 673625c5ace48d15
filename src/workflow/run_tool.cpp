#include "run_tool.h"

#include "app_icon.h"
#include "command_line.h"
#include "form1.h"
#include "platform/prompt_exit.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>

int runTool(int argc, char **argv, const std::function<void(QWidget &window)> &beforeShow)
{
    // Read before the application exists: --help and a misuse need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const CommandLine line = parseCommandLine(arguments);
    if (line.exitCode) {
        std::fputs(line.text.toLocal8Bit().constData(), *line.exitCode == 0 ? stdout : stderr);
        return *line.exitCode;
    }

    // argc lives in this frame as long as the application does, which is what Qt asks of it.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("modbus-tcp"));
    QApplication::setDesktopFileName(AppId);

    Form1 form;
    if (line.address)
        form.txtIP->setText(*line.address);
    // The window has drawn the icon already: the application shares it rather than drawing
    // and holding a second copy of every size.
    QApplication::setWindowIcon(form.windowIcon());
    if (beforeShow)
        beforeShow(form);
    form.show();
    return endWithin(std::chrono::milliseconds(500), app.exec());
}
