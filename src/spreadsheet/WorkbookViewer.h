#pragma once
// Showing an exported workbook: a new file in the temporary folder, opened in the
// desktop's application for .xlsx files.
#include <QString>
#include <functional>

namespace Spreadsheet {

// Opens the file in the desktop's application; false when nothing could open it.
using ViewerHook = std::function<bool(const QString& path)>;
void setViewerHook(ViewerHook hook); // tests answer here; an empty hook restores the desktop
bool showInDesktop(const QString& path);

// A new, unused file name: <temp>/talvo-points-YYYYMMDD-HHMMSS[-n].xlsx
QString newExportPath();

} // namespace Spreadsheet
