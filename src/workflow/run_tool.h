#pragma once

#include <functional>

class QWidget;

// The program's whole life: the command line, the application, the window, the event loop
// and a bounded teardown. beforeShow runs on the window once it is built and just before it
// shows, so that a build of the program made for measuring it can watch the window without
// the shipped program carrying any of that; the shipped program passes nothing.
int runTool(int argc, char **argv, const std::function<void(QWidget &window)> &beforeShow = {});
