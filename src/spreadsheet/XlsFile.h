#pragma once
// Excel 97-2003 workbooks (.xls, BIFF8): the OLE2 compound file through libgsf, the
// records of its Workbook stream by a bounded reader of our own. Reads the active sheet
// with values and number formats (cell, row and column formats) and the 1904 date system.
// Refuses encrypted workbooks, BIFF5 and older, and damaged files, saying why.
#include "spreadsheet/Workbook.h"

#include <optional>

namespace Spreadsheet {

struct XlsLimits {
    qint64 maxFileBytes = 64 * 1024 * 1024;
    int maxRows = 65536;                      // rows beyond this are not read
    int maxColumns = 256;                     // BIFF8's own limit
    int maxCells = 200000;                    // stored cells
    int maxStrings = 1000000;                 // shared strings
    int maxContinues = 4096;                  // CONTINUE records after one record
    qint64 maxRecordBytes = 16 * 1024 * 1024; // one record with its CONTINUE records
};

std::optional<Sheet> readXls(const QString& path, QString* error = nullptr, const XlsLimits& limits = XlsLimits());
std::optional<Sheet> readXlsBytes(const QByteArray& file, QString* error = nullptr, const XlsLimits& limits = XlsLimits());

} // namespace Spreadsheet
