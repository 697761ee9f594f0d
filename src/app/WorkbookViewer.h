#pragma once
// Showing an exported workbook: a new file in the user's private folder, opened in the
// desktop's application for .xlsx files.
#include <QString>
#include <functional>

namespace Spreadsheet {

// Opens the file in the desktop's application; false when nothing could open it.
using ViewerHook = std::function<bool(const QString& path)>;
void setViewerHook(ViewerHook hook); // tests answer here; an empty hook restores the desktop
bool showInDesktop(const QString& path);

// A new empty file, created for this export only, in the user's private folder
// <runtime>/talvo-linearizer/talvo-points-YYYYMMDD-HHMMSS[-n].xlsx (mode 0600 in a
// 0700 folder). "" with *error set when it cannot be made.
QString newExportPath(QString* error = nullptr);

} // namespace Spreadsheet
