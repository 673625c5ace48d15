#pragma once

class QString;
class QWidget;

// Tells screen readers of a new status message, wherever the keyboard focus is.
void announceStatusMessage(QWidget *statusLine, const QString &text);
