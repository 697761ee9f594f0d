#include "document/SetupDocument.h"

#include "files/SettingsFile.h"
#include "spreadsheet/TableBlock.h"
#include "table/MeterRules.h"
#include "table/NumberText.h"

#include <QCoreApplication>
#include <algorithm>
#include <utility>

namespace {
// The point count a list text stands for; 0 when it is none a meter takes.
int countOf(const QString& text)
{
    for (int n = MeterRules::MinPoints; n <= MeterRules::MaxPoints; ++n)
        if (text == QString::number(n))
            return n;
    return 0;
}
} // namespace

SetupDocument::SetupDocument(QObject* parent) : QObject(parent) {}

void SetupDocument::restore(const SetupState& state)
{
    const SetupState old = std::exchange(m_s, state);
    const bool fitChanged = old.fitSource != m_s.fitSource;
    if (old.rows.size() != m_s.rows.size())
        emit countChanged(int(old.rows.size()), int(m_s.rows.size()));
    if (old.rows != m_s.rows)
        emit rowsChanged(0, rowCount() - 1);
    emit settingsChanged();
    if (fitChanged)
        emit fitSourceChanged();
}

QString SetupDocument::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    switch (column) {
    case NumberColumn: return QString::number(row + 1);
    case InputColumn: return m_s.rows[row].input;
    case DisplayColumn: return m_s.rows[row].display;
    default: return QString();
    }
}

SettingsValues SetupDocument::settingsValues() const
{
    return SettingsValues{m_s.format,      m_s.address, m_s.port, m_s.baud, m_s.points, m_s.type == InputType::Voltage,
                          m_s.type == InputType::Current};
}

bool SetupDocument::holdsValues() const
{
    if (m_s.type && m_s.rows.size() == 2) {
        const ValueRules::InputDefaults d = ValueRules::defaultsFor(*m_s.type);
        if (m_s.rows[0] == PointRow{d.point1, d.point1} && m_s.rows[1] == PointRow{d.point2, d.point2})
            return false;
    }
    return std::any_of(m_s.rows.begin(), m_s.rows.end(), [](const PointRow& row) { return !row.input.isEmpty() || !row.display.isEmpty(); });
}

// ---- Choices ----

bool SetupDocument::chooseType(InputType type)
{
    if (m_s.type == type)
        return false; // re-choosing the type in force changes nothing
    const ValueRules::InputDefaults d = ValueRules::defaultsFor(type);
    m_s.type = type;
    QList<PointRow> rows = m_s.rows;
    rows[0] = PointRow{d.point1, d.point1};
    rows[1] = PointRow{d.point2, d.point2};
    setRows(rows);
    chooseFormat(d.format);
    emit settingsChanged();
    return true;
}

void SetupDocument::clearType()
{
    if (!m_s.type)
        return;
    m_s.type.reset();
    emit settingsChanged();
}

void SetupDocument::chooseFormat(const QString& format)
{
    const bool moves = ValueRules::formatDecimals(format) >= 0 && format != m_s.formatInForce;
    if (format == m_s.format && !moves)
        return;
    m_s.format = format;
    if (moves) {
        QList<PointRow> rows = m_s.rows;
        for (PointRow& row : rows)
            row.display = ValueRules::rescaleDisplay(row.display, format);
        m_s.formatInForce = format;
        setRows(rows);
    }
    emit settingsChanged();
}

void SetupDocument::choosePoints(const QString& points)
{
    const bool same = points == m_s.points;
    m_s.points = points;
    if (const int n = countOf(points); n != 0 && n != rowCount()) {
        QList<PointRow> rows = m_s.rows;
        rows.resize(n);
        setRows(rows);
    }
    if (!same)
        emit settingsChanged();
}

void SetupDocument::setCountUnlocked(bool unlocked)
{
    if (std::exchange(m_s.countUnlocked, unlocked) != unlocked)
        emit settingsChanged();
}

void SetupDocument::setAddress(const QString& address)
{
    if (std::exchange(m_s.address, address) != address)
        emit settingsChanged();
}

void SetupDocument::setPort(const QString& port)
{
    if (std::exchange(m_s.port, port) != port)
        emit settingsChanged();
}

void SetupDocument::setBaud(const QString& baud)
{
    if (std::exchange(m_s.baud, baud) != baud)
        emit settingsChanged();
}

// ---- Cells ----

void SetupDocument::setRows(const QList<PointRow>& rows)
{
    if (rows == m_s.rows)
        return;
    const int oldCount = rowCount();
    int first = 0;
    while (first < std::min(oldCount, int(rows.size())) && rows[first] == m_s.rows[first])
        ++first;
    int last = std::max(oldCount, int(rows.size())) - 1;
    while (last > first && last < std::min(oldCount, int(rows.size())) && rows[last] == m_s.rows[last])
        --last;
    m_s.rows = rows;
    touchTable();
    if (oldCount != rowCount())
        emit countChanged(oldCount, rowCount());
    emit rowsChanged(first, std::min(last, rowCount() - 1));
}

void SetupDocument::touchTable()
{
    m_s.origin = TableOrigin::Typed;
    m_s.originPath.clear();
    setFitSource({});
}

void SetupDocument::setFitSource(const QList<QPointF>& source)
{
    if (source == m_s.fitSource)
        return;
    m_s.fitSource = source;
    emit fitSourceChanged();
}

void SetupDocument::setCell(int row, int column, const QString& text)
{
    if (row < 0 || row >= rowCount() || (column != InputColumn && column != DisplayColumn))
        return;
    QList<PointRow> rows = m_s.rows;
    (column == InputColumn ? rows[row].input : rows[row].display) = text;
    setRows(rows);
}

void SetupDocument::clearCells(int row1, int column1, int row2, int column2)
{
    QList<PointRow> rows = m_s.rows;
    for (int r = std::max(0, std::min(row1, row2)); r <= std::max(row1, row2) && r < rowCount(); ++r)
        for (int c = std::min(column1, column2); c <= std::max(column1, column2); ++c) {
            if (c == InputColumn)
                rows[r].input.clear();
            else if (c == DisplayColumn)
                rows[r].display.clear();
        }
    setRows(rows);
}

ValueRules::CheckResult SetupDocument::checkTyped(int column, const QString& text) const
{
    ValueRules::CheckResult passed;
    passed.text = text;
    if (text.isEmpty())
        return passed;
    if (column == DisplayColumn)
        return ValueRules::checkDisplay(text, m_s.format);
    if (!m_s.type) { // no type selected: written in the three-decimal form, no range
        passed.text = NumberText::normalForm(text, MeterRules::inputDecimals(m_s.type));
        return passed;
    }
    return ValueRules::checkInput(text, *m_s.type);
}

QString SetupDocument::namingPoint(const QString& message, int row)
{
    return message + QStringLiteral("\r\n\r\n") + QCoreApplication::translate("SetupDocument", "Point %1").arg(row + 1);
}

SetupDocument::PasteResult SetupDocument::paste(int row0, int column0, const QList<QStringList>& block)
{
    PasteResult result;
    setCountUnlocked(false);
    const auto refuse = [&](const ValueRules::CheckResult& refusal, int row, int column) {
        result.refused = true;
        result.refusal = refusal;
        result.refusal.message = namingPoint(refusal.message, row);
        result.row = row;
        result.column = column;
        return result;
    };
    const auto inside = [&](int i, int j) { return row0 + i < rowCount() && column0 + j <= DisplayColumn; };
    // A cell that is not a number (a heading row, a comma for the point) refuses the whole
    // block before anything is stored, with the message its column gives a typed value.
    for (int i = 0; i < block.size(); ++i)
        for (int j = 0; j < block[i].size() && inside(i, j); ++j) {
            const ValueRules::CheckResult refusal =
                ValueRules::refuseNonNumber(block[i][j], column0 + j == InputColumn, m_s.type, m_s.format);
            if (refusal.rejected)
                return refuse(refusal, row0 + i, column0 + j);
        }
    QList<PointRow> rows = m_s.rows;
    for (int i = 0; i < block.size() && !result.refused; ++i)
        for (int j = 0; j < block[i].size() && inside(i, j); ++j) {
            const int r = row0 + i, c = column0 + j;
            const ValueRules::CheckResult checked = checkTyped(c, block[i][j]);
            if (checked.rejected) {
                refuse(checked, r, c);
                break;
            }
            (c == InputColumn ? rows[r].input : rows[r].display) = checked.text;
        }
    setRows(rows);
    if (!result.refused)
        result.beyond = std::max(0, int(block.size()) - (rowCount() - row0));
    return result;
}

// ---- Files ----

QString SetupDocument::OpenResult::message() const
{
    if (ok)
        return QString();
    if (stopLine == 0)
        return QCoreApplication::translate("frmMain", "The settings file %1 could not be opened.\r\n%2").arg(path, error);
    return QCoreApplication::translate("frmMain", "The settings file %1 could not be read completely: reading stopped at line %2.\r\n%3")
        .arg(path, QString::number(stopLine), error);
}

SetupDocument::OpenResult SetupDocument::openSettings(const QString& path)
{
    OpenResult result;
    result.path = path;
    SettingsReader reader;
    const auto apply = [&](int line, void (SetupDocument::*choose)(const QString&), QString* value = nullptr) {
        const std::optional<QString> text = reader.readLine(line);
        if (text) {
            (this->*choose)(*text);
            if (value)
                *value = *text;
        }
        return text.has_value();
    };
    QString decimal;
    bool ok = reader.open(path) && apply(SettingsFile::DecimalLine, &SetupDocument::chooseFormat, &decimal) &&
              apply(SettingsFile::AddressLine, &SetupDocument::setAddress) && apply(SettingsFile::CommPortLine, &SetupDocument::setPort) &&
              apply(SettingsFile::BaudRateLine, &SetupDocument::setBaud) && apply(SettingsFile::SetPointsLine, &SetupDocument::choosePoints);
    if (ok) {
        // The input type is one setting in two lines: it changes only when both read well,
        // so a damaged file never leaves the setup without an input type.
        const std::optional<bool> voltage = reader.readTruth(SettingsFile::VoltageLine);
        const std::optional<bool> current = voltage ? reader.readTruth(SettingsFile::CurrentLine) : std::nullopt;
        ok = current.has_value();
        if (ok) {
            result.bothTypes = *voltage && *current;
            if (*voltage)
                chooseType(InputType::Voltage);
            if (*current)
                chooseType(InputType::Current);
            if (!*voltage && !*current)
                chooseType(InputType::Pulse);
            chooseFormat(decimal); // the file's format, not the type's default
            ok = reader.readLine(SettingsFile::LineCount).has_value();
        }
    }
    result.ok = ok;
    result.stopLine = reader.stopLine();
    result.error = reader.errorText();
    if (ok)
        setFitSource({}); // the table is now the file's shape, even where its values are the same
    return result;
}

bool SetupDocument::importWorkbook(const QString& path, ValueRules::CheckResult* refusal)
{
    PointTable table = this->table();
    if (!Spreadsheet::importTable(path, &table, m_s.formatInForce, refusal))
        return false;
    if (ValueRules::formatDecimals(table.format) >= 0)
        m_s.formatInForce = table.format;
    m_s.format = table.format;
    setRows(table.rows);
    touchTable(); // also where the values are the same
    m_s.origin = TableOrigin::Workbook;
    m_s.originPath = path;
    emit settingsChanged();
    return true;
}

bool SetupDocument::useTable(const PointTable& table, const QList<QPointF>& fitSource)
{
    if (!table.type || table.rows.size() < MeterRules::MinPoints || table.rows.size() > MeterRules::MaxPoints)
        return false;
    chooseType(*table.type);
    chooseFormat(table.format);
    choosePoints(QString::number(table.rows.size()));
    QStringList lines;
    for (const PointRow& row : table.rows)
        lines << row.input + u'\t' + row.display;
    const QStringList normal =
        Spreadsheet::normalisedBlock(lines, MeterRules::inputLimits(*table.type).decimals, ValueRules::formatDecimals(table.format)).split(u'\r');
    QList<PointRow> rows = m_s.rows;
    for (int r = 0; r < rows.size() && r < normal.size(); ++r)
        rows[r] = PointRow{normal[r].section(u'\t', 0, 0), normal[r].section(u'\t', 1, 1)};
    setRows(rows);
    m_s.origin = TableOrigin::Fit;
    setFitSource(fitSource);
    return true;
}
