#pragma once
// Reading a dense data source: two columns, A (input or the quantity mapped onto it) and
// B (display value), from a .csv / .txt file or from columns A and B of a workbook's active
// sheet (.xlsx, .xls, .ods). In text, a row's fields are split at TAB, else ";", else ",";
// with TAB or ";" between them "," is the decimal point (as a German spreadsheet saves CSV),
// with "," only "." is, and a row of more than two numbers is refused as ambiguous. Fields
// may be quoted. Leading rows that are not two numbers (titles, headings) are skipped; after
// the first data row every row must be two numbers. Empty lines at the end are ignored.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <vector>

#include "fitting/Fit.h"

namespace Spreadsheet {
class Sheet;
}

namespace Fitting {

struct DataRead {
    enum class Outcome {
        Read,       // rows holds the data
        Unreadable, // the file cannot be opened or is no data file at all (message says why)
        BadRow,     // a row breaks a rule; message names it ("row 4: ...")
    };
    Outcome outcome = Outcome::Unreadable;
    std::vector<DataRow> rows;
    QString message;
    bool ok() const { return outcome == Outcome::Read; }
};

// Files larger than this are not read (a million rows of text is about 30 MB).
inline constexpr qint64 MaxDataFileBytes = 256LL * 1024 * 1024;

// By content: a workbook (zip, compound document) through the spreadsheet readers,
// anything else as delimited text. Only a plain file is read (a FIFO or a device is refused
// at once), at most MaxDataFileBytes of it; reading stops when cancel is set.
DataRead readDataFile(const QString& path, const std::atomic_bool* cancel = nullptr);
// Delimited text, line by line; a row's number is its line number.
DataRead readDelimited(const QByteArray& text, const std::atomic_bool* cancel = nullptr);
// Columns A and B of a sheet, every row up to the last used one; a row's number is the
// sheet's row number.
DataRead readSheet(const Spreadsheet::Sheet& sheet);

} // namespace Fitting
