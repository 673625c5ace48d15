#pragma once

class QComboBox;

// Makes the editable table selector raise activated only when the operator chooses a table:
// an item picked in the open list, by mouse or keyboard, or a step with the arrow keys (or
// the wheel) while the selector has the focus. Typing a table's name and then pressing
// Return, Tab or clicking elsewhere raises nothing, and the wheel over a selector without
// the focus changes nothing.
void guardTableSelector(QComboBox *selector);
