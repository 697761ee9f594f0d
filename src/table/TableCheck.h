#pragma once
// Checks of the whole point table before a meter is programmed, and the message of
// each failure code.
#include <QList>
#include <QString>
#include <optional>

#include "table/PointTable.h"

namespace TableCheck {

// Failure codes of a run: 0 success, 1 communication failure, the others a broken table rule.
// An input type's range and step codes are its row's in MeterRules (3/5 Voltage, 4/6 Current,
// 8/9 Pulse).
enum Code {
    Passed = 0,
    Communication = 1,
    MissingValue = 2,
    InputOrder = 7,
    DisplayRange = 13, // a display value outside the decimal-point format's range
};
// True for the code of a broken table rule, as check() gives it.
bool isRuleCode(int code);

// The input value as the meter receives it: its normal form for the input type.
// nullopt when the text does not read as a number.
std::optional<double> inputValue(const QString& text, InputKind kind);

// The first broken rule, in this order: every cell filled with a number (row by row,
// input before display), input values strictly increasing, the input type's range and
// minimum-span tests row by row, then every display value within the format's range
// (the rule of a typed display value; no format, or none of the six: not tested).
// 0 when every rule holds.
int check(const QList<PointRow>& rows, InputKind kind, const QString& format = QString());
inline int check(const PointTable& table) { return check(table.rows, table.type, table.format); }
// Where check() finds its first broken rule: the row (0-based) and the column (1 input,
// 2 display). nullopt when every rule holds.
struct Cell {
    int row = 0;
    int column = 1;
};
std::optional<Cell> failingCell(const QList<PointRow>& rows, InputKind kind, const QString& format = QString());
// The first point (1-based) whose display value is outside the format's range; 0 for none.
int displayOutOfRange(const QList<PointRow>& rows, const QString& format);

struct Message {
    QString text;
    int style = 0; // 0 none, 16 critical, 48 exclamation, 64 information
    QString title; // empty: the application's title
};

// The message shown for the code of a broken table rule; nullopt for any other code. The
// display range message names the table's first point out of range.
std::optional<Message> failureMessage(int code, const PointTable& table = {});

} // namespace TableCheck
