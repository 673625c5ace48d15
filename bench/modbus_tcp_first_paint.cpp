// The tool as it ships, started exactly as src/main.cpp starts it, except that the window
// quits once it has painted for the first time when MODBUS_TCP_EXIT_AFTER_FIRST_PAINT=1, so
// that the start-up benchmark can time it from outside.

#include "exit_after_first_paint.h"
#include "workflow/run_tool.h"

#include <QWidget>

int main(int argc, char *argv[])
{
    return runTool(argc, argv, [](QWidget &window) { ExitAfterFirstPaint::installIfAsked(&window); });
}
