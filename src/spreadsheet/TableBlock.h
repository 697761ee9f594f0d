#pragma once
// The table as Import takes it from a workbook, for the window and for `program` alike: the
// active sheet's A1:B32 copied with the inputs in their type's decimals, the display column's
// decimals when its number format names them, each cell checked as if typed, and every value
// in its normal form.
#include <QString>
#include <QStringList>
#include <optional>

#include "table/MeterRules.h"
#include "table/PointTable.h"
#include "table/ValueRules.h"

namespace Spreadsheet {

struct TableBlock {
    QString copied;    // A1:B32 as Copy gives it: TAB between cells, CR LF between rows
    int detected = -1; // the display column's decimals when its number format names them; -1 otherwise
    QStringList lines() const; // the rows of `copied`
};
// Reads the block from the workbook's active sheet; nullopt with the reason when the file
// cannot be read.
std::optional<TableBlock> readTableBlock(const QString& path, std::optional<InputType> type, QString* error);

// The first cell of the first `rows` rows that is not a number, with the message typing it
// would give and, after it, which cell of which file holds what.
std::optional<ValueRules::CheckResult> firstNonNumber(const QStringList& lines, int rows, std::optional<InputType> type,
                                                      const QString& format, const QString& path);

// The block with every value in its normal form: inputs with inputDecimals, display values
// with displayDecimals (left as they are when displayDecimals is -1). Rows end with CR.
QString normalisedBlock(const QStringList& lines, int inputDecimals, int displayDecimals);

// Import without a grid, as Import leaves the window's table: the table's rows (as many as its
// point count) take the block's values in their normal forms; a display column whose number
// format names its decimals sets the table's format, the rows' display values moved to it as
// choosing it in the list does (formatInForce: the format they are written in), a value missing
// from the sheet staying missing. False, with the message and its title, when the file cannot
// be read or a cell of the rows is not a number; the table is then as it was.
bool importTable(const QString& path, PointTable* table, const QString& formatInForce, ValueRules::CheckResult* refusal);

} // namespace Spreadsheet
