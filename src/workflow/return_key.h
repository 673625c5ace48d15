#pragma once

class QComboBox;
class QPushButton;

// What Return and Enter do in the window, which has no default button: they press the
// button that has the focus, and nothing anywhere else.
void returnPressesButton(QPushButton *button);
void typedTextPicksNothing(QComboBox *selector);
