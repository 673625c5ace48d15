#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What the command line asks for: the window, with an address for the IP Address box when
// one is given, or no window at all, only a text to print and an exit code.
struct CommandLine {
    std::optional<QString> address; // none: the box keeps its own default
    std::optional<int> exitCode;    // 0 after --help (text for stdout), 2 for a misuse (stderr)
    QString text;                   // ends with a newline when there is one
};

// arguments are those after the program's name. Qt's own options (-style, -platform, ...)
// are not among those taken: the line is read before the application exists, so that
// --help and a misuse need no display.
CommandLine parseCommandLine(const QStringList &arguments);
