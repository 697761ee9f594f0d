// Export and Import of the point table.
#include "app/frmMain.h"

#include "app/PickList.h"
#include "spreadsheet/TableBlock.h"
#include "spreadsheet/Workbook.h"
#include "app/WorkbookViewer.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "table/MeterRules.h"
#include "table/NumberText.h"
#include "table/TableCheck.h"
#include "table/ValueRules.h"

#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

namespace {

const char* const ExportTitle = QT_TRANSLATE_NOOP("frmMain", "Export to Excel");
const char* const ImportTitle = QT_TRANSLATE_NOOP("frmMain", "Import from Excel");

} // namespace

void frmMain::wireSpreadsheet()
{
    connect(cmdExport, &QPushButton::clicked, this, [this] { cmdExport_Click(); });
    connect(cmdImport, &QPushButton::clicked, this, [this] { cmdImport_Click(); });
}

void frmMain::cmdExport_Click()
{
    CommitCellEditor();
    Spreadsheet::Application app;
    app.Add();

    // The grid's block goes to the sheet directly: the user's clipboard is left as it was.
    MSFlexGrid1->setRow(0);
    MSFlexGrid1->setCol(1);
    MSFlexGrid1->setRowSel(MSFlexGrid1->Rows() - 1);
    MSFlexGrid1->setColSel(MSFlexGrid1->Cols() - 1);
    const QString block = MSFlexGrid1->Clip();

    Spreadsheet::Sheet& sheet = app.ActiveWorkbook()->ActiveSheet();
    sheet.Select(QStringLiteral("A1"));
    sheet.setNumberFormat(QStringLiteral("A1:A32"), Spreadsheet::decimalsFormat(MeterRules::inputDecimals(selectedInputType())));
    const int decimals = ValueRules::formatDecimals(cboDecimal->Text());
    if (decimals >= 0)
        sheet.setNumberFormat(QStringLiteral("B1:B32"), Spreadsheet::decimalsFormat(decimals));
    sheet.Paste(block);

    QString error;
    const QString path = Spreadsheet::newExportPath(&error);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (path.isEmpty() || !app.SaveCopyAs(path, &error)) {
        MsgBox(tr("The workbook could not be written to %1: %2").arg(shownPath, error), vbExclamation, tr(ExportTitle));
        return;
    }
    const bool shown = Spreadsheet::showInDesktop(path);
    if (!shown)
        MsgBox(tr("You need to have Microsoft Excel installed to use this function"), vbExclamation, tr(ExportTitle));
    setPanelText(1, tr("Workbook written to %1").arg(shownPath));
    RestartStatusTimer();
}

QString frmMain::fillGrid(const QString& block, int inputDecimals, int displayDecimals)
{
    const QString normal = Spreadsheet::normalisedBlock(block.split(u'\r'), inputDecimals, displayDecimals);
    MSFlexGrid1->setFocus();
    MSFlexGrid1->setRedraw(false);
    MSFlexGrid1->setRow(0);
    MSFlexGrid1->setCol(1);
    MSFlexGrid1->setRowSel(MSFlexGrid1->Rows() - 1);
    MSFlexGrid1->setColSel(MSFlexGrid1->Cols() - 1);
    MSFlexGrid1->setClip(normal);
    Text1->setText(MSFlexGrid1->Text());
    MSFlexGrid1->setCol(1);
    MSFlexGrid1->setRedraw(true);
    return normal;
}

bool frmMain::tableHoldsValues() const
{
    // A fresh table (two points holding the input type's defaults) holds nothing to lose.
    const PointTable table = pointTable();
    if (table.type && table.rows.size() == 2) {
        const ValueRules::InputDefaults d = ValueRules::defaultsFor(*table.type);
        if (table.rows[0] == PointRow{d.point1, d.point1} && table.rows[1] == PointRow{d.point2, d.point2})
            return false;
    }
    return std::any_of(table.rows.begin(), table.rows.end(),
                       [](const PointRow& row) { return !row.input.isEmpty() || !row.display.isEmpty(); });
}

bool frmMain::useTable(const PointTable& table, const QString& title)
{
    CommitCellEditor();
    UndoStep step(*this, title);
    if (!table.type || table.rows.size() < MeterRules::MinPoints || table.rows.size() > MeterRules::MaxPoints)
        return false;
    if (tableHoldsValues() &&
        MsgBox(tr("The table holds values. Replace them with the %1 fitted points?").arg(table.rows.size()),
               vbYesNo | vbQuestion, title) != vbYes)
        return false;
    setOptionValue(*table.type == InputType::Voltage ? optVoltage : *table.type == InputType::Current ? optCurrent : optPulse, true);
    selectListText(cboDecimal, table.format);
    selectListText(cboSetPoints, QString::number(table.rows.size()));
    QStringList lines;
    for (const PointRow& row : table.rows)
        lines << row.input + u'\t' + row.display;
    fillGrid(lines.join(u'\r'), MeterRules::inputLimits(*table.type).decimals, ValueRules::formatDecimals(table.format));
    // The check Program Meter runs; a table that breaks a rule says so now.
    if (const auto message = TableCheck::failureMessage(CheckPointTable(), pointTable())) {
        MsgBox(message->text, message->style, message->title);
        selectFailingCell();
    }
    return true;
}

void frmMain::cmdImport_Click()
{
    CommitCellEditor();
    const QString path = ShowOpenDialog(tr("Spreadsheets (*.xlsx *.xls *.ods)|*.xlsx;*.xls;*.ods|"
                                                       "Excel Workbook (*.xlsx)|*.xlsx|"
                                                       "Excel 97-2003 Workbook (*.xls)|*.xls|"
                                                       "OpenDocument Spreadsheet (*.ods)|*.ods|"));
    if (path.isEmpty())
        return;
    importWorkbook(path);
}

bool frmMain::importWorkbook(const QString& path)
{
    UndoStep step(*this, tr("Import"));
    QString error;
    const std::optional<Spreadsheet::TableBlock> read = Spreadsheet::readTableBlock(path, selectedInputType(), &error);
    if (!read) {
        MsgBox(tr("The workbook %1 cannot be read: %2").arg(QDir::toNativeSeparators(path), error), vbExclamation, tr(ImportTitle));
        return false;
    }
    const int inputDecimals = MeterRules::inputDecimals(selectedInputType());
    const int detected = read->detected;
    // Display values are written in the decimal-point format that will be in force once
    // the sheet's format has been taken over, so that its rescale keeps them as they are.
    const int displayDecimals = detected >= 0 ? detected : ValueRules::formatDecimals(cboDecimal->Text());

    // A cell of the table's rows that is not a number (a heading, text, "4,5") refuses the
    // workbook before anything is stored, with the message its column gives a typed value.
    const QStringList lines = read->lines();
    const QString format = detected >= 0 ? ValueRules::decimalFormats()[detected] : cboDecimal->Text();
    if (const auto refusal = Spreadsheet::firstNonNumber(lines, MSFlexGrid1->Rows(), selectedInputType(), format, path)) {
        MsgBox(refusal->message, vbOKOnly, refusal->title);
        return false;
    }
    // The workbook's block goes to the grid directly: the user's clipboard is left as it was.
    const QString block = fillGrid(lines.join(u'\r'), inputDecimals, displayDecimals);

    if (detected >= 0 && selectListText(cboDecimal, ValueRules::decimalFormats()[detected])) {
        // A value missing from the sheet stays missing, so that Program Meter reports it.
        const QStringList normal = block.split(u'\r');
        for (int r = 0; r < MSFlexGrid1->Rows() && r < normal.size(); ++r)
            if (normal[r].section(u'\t', 1, 1).isEmpty())
                MSFlexGrid1->setTextMatrix(r, 2, QString());
    }

    setFitSource({}); // the table now comes from the workbook, even where its values are the same
    recordWorkbookSource(path);
    noteRecentFile(path);
    return true;
}
