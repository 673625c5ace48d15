#include "workflow/app_icon.h"
#include "workflow/form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("modbus-tcp"));
    QApplication::setWindowIcon(appIcon());
    QApplication::setDesktopFileName(QStringLiteral("modbus-tcp"));

    Form1 form;
    form.show();
    return app.exec();
}
