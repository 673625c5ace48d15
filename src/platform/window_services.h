#pragma once

#include <QString>

// The toolkit services the handlers call: a modal message box with one OK button, the busy
// pointer, and a clock. Tests replace them so that nothing waits for a person.
class WindowServices
{
public:
    virtual ~WindowServices() = default;
    // Returns when the operator has dismissed the box.
    virtual void MessageBox(const QString &text) = 0;
    virtual void setBusy(bool busy) = 0;
    // Seconds on a steady clock.
    virtual double clockSeconds() const = 0;
};

// The title of the program's message boxes and window.
inline const QString ProgramTitle = QStringLiteral("Modbus TCP");
