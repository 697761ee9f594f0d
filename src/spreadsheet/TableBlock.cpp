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

} // namespace Spreadsheet
