#pragma once
// .xlsx files: writing one sheet with libxlsxwriter; reading the active sheet of a
// workbook with QXmlStreamReader over a bounded zip reader. Reading is bounded in bytes,
// columns, rows and cells, and refuses documents with a DTD.
#include "spreadsheet/Workbook.h"
#include "spreadsheet/ZipArchive.h"

#include <optional>

namespace Spreadsheet {

struct XlsxLimits {
    ZipLimits zip = ZipLimits();
    int maxColumns = 1024;    // a cell beyond this column refuses the sheet
    int maxRows = 65536;      // rows beyond this are not read
    int maxStrings = 1000000; // shared strings
    int maxCells = 200000;    // stored cells of the rows read
};

// Numbers are stored as numbers, every cell with its number format.
bool writeXlsx(const Sheet& sheet, const QString& path, QString* error = nullptr);

std::optional<Sheet> readXlsx(const QString& path, QString* error = nullptr, const XlsxLimits& limits = XlsxLimits());

// The format code of a built-in number format id; "" for an unknown id.
QString builtinNumberFormat(int id);

} // namespace Spreadsheet
