#include "spreadsheet/TableBlock.h"

#include "spreadsheet/Workbook.h"
#include "table/NumberText.h"

#include <QCoreApplication>
#include <QDir>

namespace Spreadsheet {

QStringList TableBlock::lines() const
{
    QString block = copied;
    block.replace(QStringLiteral("\r\n"), QStringLiteral("\r"));
    return block.split(u'\r');
}

std::optional<TableBlock> readTableBlock(const QString& path, std::optional<InputType> type, QString* error)
{
    Application app;
    Workbook* book = app.Open(path, error);
    if (!book)
        return std::nullopt;
    Sheet& sheet = book->ActiveSheet();
    sheet.setNumberFormat(QStringLiteral("A1:A32"), decimalsFormat(MeterRules::inputDecimals(type)));
    TableBlock block;
    block.copied = sheet.Copy(QStringLiteral("A1:B32"));
    const QString displayFormat = sheet.NumberFormat(QStringLiteral("B1:B32"));
    for (int decimals : {0, 5, 4, 3, 2, 1})
        if (block.detected < 0 && displayFormat == decimalsFormat(decimals))
            block.detected = decimals;
    app.DisplayAlerts = false;
    app.Close(book);
    app.Quit();
    return block;
}

std::optional<ValueRules::CheckResult> firstNonNumber(const QStringList& lines, int rows, std::optional<InputType> type,
                                                      const QString& format, const QString& path)
{
    for (int r = 0; r < rows && r < lines.size(); ++r) {
        for (int c = 0; c < 2; ++c) {
            const QString text = lines[r].section(u'\t', c, c);
            ValueRules::CheckResult refusal = ValueRules::refuseNonNumber(text, c == 0, type, format);
            if (!refusal.rejected)
                continue;
            refusal.message += QCoreApplication::translate("frmMain", "\r\nCell %1%2 of %3 holds \"%4\".")
                                   .arg(QLatin1Char(char('A' + c)))
                                   .arg(r + 1)
                                   .arg(QDir::toNativeSeparators(path), text.left(40));
            return refusal;
        }
    }
    return std::nullopt;
}

QString normalisedBlock(const QStringList& lines, int inputDecimals, int displayDecimals)
{
    QStringList out;
    for (const QString& line : lines) {
        QStringList cells = line.split(u'\t');
        if (!cells.isEmpty() && !cells[0].isEmpty())
            cells[0] = NumberText::normalForm(cells[0], inputDecimals);
        if (cells.size() > 1 && !cells[1].isEmpty() && displayDecimals >= 0)
            cells[1] = ValueRules::normalValue(cells[1], displayDecimals);
        out << cells.join(u'\t');
    }
    return out.join(u'\r');
}

bool importTable(const QString& path, PointTable* table, const QString& formatInForce, ValueRules::CheckResult* refusal)
{
    const InputKind type = table->type;
    QString error;
    const std::optional<TableBlock> read = readTableBlock(path, type, &error);
    if (!read) {
        refusal->message = QCoreApplication::translate("frmMain", "The workbook %1 cannot be read: %2").arg(QDir::toNativeSeparators(path), error);
        refusal->title = QCoreApplication::translate("frmMain", "Import from Excel");
        return false;
    }
    const int detected = read->detected;
    const QString format = detected >= 0 ? ValueRules::decimalFormats()[detected] : table->format;
    const QStringList lines = read->lines();
    QList<PointRow> rows = table->rows;
    if (const auto cell = firstNonNumber(lines, int(rows.size()), type, format, path)) {
        *refusal = *cell;
        return false;
    }
    const QStringList normal = normalisedBlock(lines, MeterRules::inputDecimals(type), ValueRules::formatDecimals(format)).split(u'\r');
    for (int r = 0; r < rows.size() && r < normal.size(); ++r) {
        const QStringList cells = normal[r].split(u'\t');
        rows[r].input = cells.value(0);
        if (cells.size() > 1)
            rows[r].display = cells[1];
    }
    if (detected >= 0) {
        table->format = format;
        if (format != formatInForce)
            for (PointRow& row : rows)
                row.display = ValueRules::rescaleDisplay(row.display, format);
        // A value missing from the sheet is missing in the table too, not the old one kept.
        for (int r = 0; r < rows.size() && r < lines.size(); ++r)
            if (lines[r].section(u'\t', 1, 1).isEmpty())
                rows[r].display.clear();
    }
    table->rows = rows;
    return true;
}

} // namespace Spreadsheet
