#pragma once
// The setup of one meter as the window shows it and a programming run takes it: input type,
// decimal-point format, point count and its lock, address, port, baud rate, the rows and
// where the table came from. Every change a user can make to it is one operation here, with
// the effects choosing it has (the input type's defaults, the rescale of a decimal-point
// change, the size of a point-count change, the settings file's order of effects), so the
// window and the command line apply a choice, a settings file or a workbook the same way.
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <optional>

#include "programming/ProgrammingRun.h"
#include "table/PointTable.h"
#include "table/ValueRules.h"

struct SettingsValues;

// Where the rows came from: typed (or the defaults), a workbook or a fit.
enum class TableOrigin { Typed, Workbook, Fit };

// Everything the document holds: a snapshot that undo puts back whole.
struct SetupState {
    std::optional<InputType> type = InputType::Current;
    QString format = QStringLiteral("ddd.ddd");        // the decimal-point list's choice
    QString formatInForce = QStringLiteral("ddd.ddd"); // the format the display values are written in
    QString points = QStringLiteral("2");              // the point-count list's choice
    bool countUnlocked = true;                         // the point-count list may be changed
    QString address = QStringLiteral("001");
    QString port;
    QString baud = QStringLiteral("2400");
    QList<PointRow> rows{{QStringLiteral("4.000"), QStringLiteral("4.000")}, {QStringLiteral("20.000"), QStringLiteral("20.000")}};
    TableOrigin origin = TableOrigin::Typed;
    QString originPath;         // the workbook, for that origin
    QList<QPointF> fitSource;   // the dense source of a fitted table, drawn behind the curve
    bool operator==(const SetupState&) const = default;
};

class SetupDocument : public QObject {
    Q_OBJECT
public:
    static constexpr int NumberColumn = 0;
    static constexpr int InputColumn = 1;
    static constexpr int DisplayColumn = 2;
    static constexpr int ColumnCount = 3;

    explicit SetupDocument(QObject* parent = nullptr);

    const SetupState& state() const { return m_s; }
    // Puts a snapshot back whole (undo): one notification of each kind.
    void restore(const SetupState& state);

    std::optional<InputType> type() const { return m_s.type; }
    QString format() const { return m_s.format; }
    QString points() const { return m_s.points; }
    int rowCount() const { return int(m_s.rows.size()); }
    bool countUnlocked() const { return m_s.countUnlocked; }
    QString address() const { return m_s.address; }
    QString port() const { return m_s.port; }
    QString baud() const { return m_s.baud; }
    const QList<PointRow>& rows() const { return m_s.rows; }
    QString cell(int row, int column) const; // column 0: the point's number
    PointTable table() const { return PointTable{m_s.type, m_s.format, m_s.rows}; }
    MeterSetup meterSetup() const { return MeterSetup{m_s.port, m_s.baud, m_s.address, m_s.points, table()}; }
    SettingsValues settingsValues() const; // what Save Settings writes
    TableOrigin origin() const { return m_s.origin; }
    QString originPath() const { return m_s.originPath; }
    const QList<QPointF>& fitSource() const { return m_s.fitSource; }
    // A fresh table (two points with the input type's defaults) holds nothing to lose.
    bool holdsValues() const;

    // ---- Choices, each with the effect choosing it in the window has ----
    // The input type: its first two points and its decimal-point format. Re-choosing the
    // type in force changes nothing (false).
    bool chooseType(InputType type);
    void clearType(); // no input type selected
    // The decimal-point format: the display values' point moves, their digits stay; an empty
    // cell stays empty. A text that is none of the six formats only changes the choice.
    void chooseFormat(const QString& format);
    // The point count: the table gets that many rows (a text outside 2 to 32 only changes
    // the choice).
    void choosePoints(const QString& points);
    void setCountUnlocked(bool unlocked);
    void setAddress(const QString& address);
    void setPort(const QString& port);
    void setBaud(const QString& baud);

    // ---- Cells ----
    void setCell(int row, int column, const QString& text); // stored as given
    // Empties every value cell of the rectangle (rows and columns in either order).
    void clearCells(int row1, int column1, int row2, int column2);
    // A typed value of a cell checked: its normal form, or the refusal with its message.
    ValueRules::CheckResult checkTyped(int column, const QString& text) const;
    // A refused value's message with the point it was meant for.
    static QString namingPoint(const QString& message, int row);

    // Paste: rows of cells from (row0, column0) rightwards and downwards, each value checked
    // as if typed. A cell that is not a number refuses the whole block before anything is
    // stored; a value out of range stops the paste there, the cells before it stored and the
    // refused cell keeping its value.
    struct PasteResult {
        bool refused = false;
        ValueRules::CheckResult refusal; // its message names the point
        int row = -1, column = -1;       // the refused cell
        int beyond = 0;                  // rows past the last point, left out
    };
    PasteResult paste(int row0, int column0, const QList<QStringList>& rows);

    // ---- Files ----
    // Open Settings: lines 5, 8, 11, 14, 17 applied in turn as choices, then the input type
    // (lines 19 and 20 as a pair), then the file's decimal point again. What was applied
    // before a failure stays applied.
    struct OpenResult {
        bool ok = false;
        QString path;
        int stopLine = 0;       // the line reading stopped at; 0: the file could not be opened
        QString error;          // why
        bool bothTypes = false; // lines 19 and 20 both "True"
        QString message() const; // the failure's text for the user ("" when ok)
    };
    OpenResult openSettings(const QString& path);
    // Import: a workbook's rows in their normal forms, its display format taken over. False,
    // with the message and title, when it cannot be read or holds a cell that is not a number;
    // nothing changes then.
    bool importWorkbook(const QString& path, ValueRules::CheckResult* refusal);
    // A whole table put in (Fit Use): the input type, the decimal point, the point count and
    // every value in its normal form. False for a table no meter takes.
    bool useTable(const PointTable& table, const QList<QPointF>& fitSource = {});
    // The dense source behind a fitted table; any later change of the rows drops it.
    void setFitSource(const QList<QPointF>& source);

signals:
    // The type, format, count, lock, address, port or baud rate changed.
    void settingsChanged();
    // Cells changed: rows first..last (all columns); the number of rows may have changed too.
    void rowsChanged(int first, int last);
    void countChanged(int oldCount, int newCount);
    void fitSourceChanged();

private:
    void setRows(const QList<PointRow>& rows);
    void touchTable(); // a change by hand: the table is typed from now on

    SetupState m_s;
};
