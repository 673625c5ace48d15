#pragma once

#include <QString>
#include <optional>

// How the tool turns the operator's text into numbers. Every number taken from a text
// box goes through here, so the same text means the same number everywhere.
namespace numeric {

// The value of the longest leading decimal number in the text, blanks, tabs and line
// feeds ignored anywhere; 0 when there is none ("", "abc"). "12abc" is 12, "1 6" is 16.
// "&H" followed by hex digits and "&O" followed by octal digits are read as unsigned
// numbers ("&HFFFF" is 65535), because engineers copy register values from device manuals
// written that way.
double value(const QString &text);

// The value of a text that is wholly a number once blanks are removed; empty for a text
// with anything after the number ("12abc", "0x1F", "2,7") or with no number at all ("",
// "abc"). A write puts what the operator typed into a live device: it takes its numbers
// this way, so that nothing typed is quietly cut short or read as 0.
std::optional<double> exactValue(const QString &text);

// The value rounded to the nearest whole number, halves to the even neighbour; empty when
// it does not fit a signed 32-bit integer (or is not a number at all).
std::optional<qint32> wholeNumber(double value);

// A whole number split into the high and low byte of a 16-bit field: high is W / 256
// truncated toward zero, low the remainder with the sign of W. Empty when either part falls
// outside 0..255, which is how a negative number or one above 65535 is refused.
struct Word {
    quint8 high;
    quint8 low;
    quint16 value() const { return quint16(high << 8 | low); }
};
std::optional<Word> split(qint64 whole);

// The whole-number text of a box as a 16-bit field, in one step: value, round, split.
std::optional<Word> wordOf(const QString &text);
// The same for a text that must be wholly a number (exactValue).
std::optional<Word> exactWordOf(const QString &text);

} // namespace numeric
