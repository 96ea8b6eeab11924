#pragma once
// What the tank editor lets the operator type, and how the memo text travels between the
// widget and the record. No widgets here, so each rule can be checked on its own.

#include <QChar>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QKeyEvent;

namespace EditorRules {

inline constexpr int kMemoLimit = 400;
inline constexpr int kCodeMax = 4095;
inline constexpr int kLitresMax = 200000;
inline constexpr int kCodeDigits = 4;
inline constexpr int kLitresDigits = 6;
inline constexpr int kCodeColumn = 1;
inline constexpr int kLitresColumn = 2;

// The character a key press types, as a key filter sees it: printable characters,
// backspace, carriage return and code 16. Navigation keys and shortcuts (Ctrl+V and the
// like) type nothing and are left to the widget.
std::optional<QChar> TypedCharacter(const QKeyEvent& event);

// Backspace (8) and code 16 pass every filter untouched.
bool IsPassThrough(QChar c);
// Only the digits 0 to 9.
bool IsDigit(QChar c);

// The memo's length in characters as the limit counts them: every line break counts as two
// (CR LF).
int MemoLength(const QString& plainText);
// The widget's text as stored in the record: CR LF line breaks, at most 400 characters,
// written as the station writes texts. A cut never leaves half a line break behind.
std::string MemoToRecord(const QString& plainText);
// The record's memo as the widget shows it.
QString MemoFromRecord(const std::string& memo);

// True when a cell of the column still has room for one more typed digit.
bool GridTextHasRoom(int column, const QString& cellText);
// True when the text may stand in a cell of the column: empty, or a decimal integer from
// 0 to the column's limit.
bool GridValueAdmissible(int column, const QString& value);

// An alarm level is within a calibrated tank's capacity; any level passes while the tank
// has none (capacity 0).
bool AlarmWithinCapacity(int32_t level, int32_t capacity);
// The refusal of a level above the capacity, naming the capacity.
std::string AlarmAboveCapacityText(int32_t capacity);

} // namespace EditorRules
