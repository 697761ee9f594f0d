#pragma once
// A small workbook layer with the operations the point exchange needs of a spreadsheet
// application: add or open a workbook, a range's number format (read and write), copy a
// range as displayed text, paste text at the selected cell, save, close and quit.
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace Spreadsheet {

enum class CellKind { Empty, Number, Text, Boolean, Error };

struct Cell {
    CellKind kind = CellKind::Empty;
    double number = 0; // Number; Boolean: 1 or 0
    QString text;      // Text; Error: its code such as "#DIV/0!"
    QString format = QStringLiteral("General");
};

// Rows and columns counted from 0; "A1" is (0, 0).
struct CellRef {
    int row = 0;
    int col = 0;
};
struct RangeRef {
    int row1 = 0, col1 = 0, row2 = 0, col2 = 0;
};

constexpr int MaxSheetRows = 1048576;
constexpr int MaxSheetColumns = 16384;

std::optional<CellRef> parseCellRef(const QString& address); // "B12", "$B$12"
std::optional<RangeRef> parseRange(const QString& address);  // "A1:B32" or one cell
QString columnName(int col);                                 // 0 -> "A", 27 -> "AB"

// The number format that shows a table column with this many decimals: 0 -> "0", 3 -> "0.000".
QString decimalsFormat(int decimals);

// The text a cell shows under its number format.
QString displayText(const Cell& cell);

// A decimal number as typed (sign, digits, one ".", optional exponent); nullopt otherwise.
std::optional<double> parseNumber(const QString& text);

class Sheet {
public:
    // A cell never written is empty with its default format.
    Cell cell(int row, int col) const;
    void setCell(int row, int col, const Cell& cell);
    void setNumber(int row, int col, double value);
    void setText(int row, int col, const QString& text);

    // Whole-column and whole-row formats: a cell's format is its own, else its row's,
    // else its column's, else "General".
    void setColumnFormat(int col, const QString& code) { m_columnFormats[col] = code; }
    void setRowFormat(int row, const QString& code) { m_rowFormats[row] = code; }
    QString defaultFormat(int row, int col) const;

    // The common format code of every cell in the range; "" when they differ (no single format).
    QString NumberFormat(const QString& range) const;
    // false: the address is not a range
    bool setNumberFormat(const QString& range, const QString& code);

    // Displayed text of the range: TAB between cells, CR LF after every row; a TAB or
    // line end inside a cell's text becomes a space.
    QString Copy(const QString& range) const;

    bool Select(const QString& cell);
    CellRef selection() const { return m_selection; }
    // Splits text at TABs and line ends into cells from the selected cell on. Numbers
    // become numbers, other text stays text, empty pieces empty the cell; formats stay.
    void Paste(const QString& text);

    // The used cells, row by row.
    const std::map<std::pair<int, int>, Cell>& cells() const { return m_cells; }

private:
    std::map<std::pair<int, int>, Cell> m_cells;
    std::map<int, QString> m_columnFormats, m_rowFormats;
    CellRef m_selection;
};

class Workbook {
public:
    Sheet& ActiveSheet() { return m_sheet; }
    const Sheet& ActiveSheet() const { return m_sheet; }
    QString path() const { return m_path; }
    void setPath(const QString& path) { m_path = path; }

private:
    Sheet m_sheet;
    QString m_path;
};

// Stands in for the spreadsheet application: holds the open workbooks.
class Application {
public:
    bool DisplayAlerts = true;

    Workbook& Add();
    // Reads the active sheet of an .xlsx, .xls or .ods workbook (told apart by content). nullptr and a reason on failure.
    Workbook* Open(const QString& path, QString* error = nullptr);
    Workbook* ActiveWorkbook() { return m_books.empty() ? nullptr : m_books.back().get(); }
    // Writes the active workbook as .xlsx; the workbook stays open.
    bool SaveCopyAs(const QString& path, QString* error = nullptr);
    void Close(Workbook* book); // without saving
    void Quit() { m_books.clear(); }

private:
    std::vector<std::unique_ptr<Workbook>> m_books;
};

} // namespace Spreadsheet
