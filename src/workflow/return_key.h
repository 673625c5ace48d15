#pragma once

class QPushButton;

// Return and Enter press the button that has the focus. The window has no default button,
// so elsewhere they press nothing.
void returnPressesButton(QPushButton *button);
