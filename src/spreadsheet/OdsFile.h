#pragma once
// OpenDocument spreadsheets (.ods): the active sheet (from settings.xml) of content.xml,
// with values of every type and the number format of every cell, from its own style, its
// row's or its column's default cell style; number styles become format codes so that
// the text shown is rendered as for any other workbook. Bounded in bytes (through the zip
// reader), rows, columns, repeats, cells, styles and text.
#include "spreadsheet/Workbook.h"
#include "spreadsheet/ZipArchive.h"

#include <optional>

namespace Spreadsheet {

struct OdsLimits {
    ZipLimits zip = ZipLimits();
    int maxRows = 65536;      // rows beyond this are not read
    int maxColumns = 1024;    // a value beyond this column refuses the sheet
    int maxCells = 200000;    // stored cells
    int maxStyles = 65536;    // number styles and cell styles
    int maxTextChars = 32767; // one cell's text
};

// True when the zip archive at path holds an OpenDocument document rather than an .xlsx.
bool isOds(const QString& path);

std::optional<Sheet> readOds(const QString& path, QString* error = nullptr, const OdsLimits& limits = OdsLimits());
std::optional<Sheet> readOdsBytes(const QByteArray& file, QString* error = nullptr, const OdsLimits& limits = OdsLimits());

} // namespace Spreadsheet
