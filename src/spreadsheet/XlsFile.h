#pragma once
// Legacy .xls workbooks (BIFF) through libfreexl: values only, every cell "General".
#include "spreadsheet/Workbook.h"

#include <optional>

namespace Spreadsheet {

std::optional<Sheet> readXls(const QString& path, QString* error = nullptr);

} // namespace Spreadsheet
