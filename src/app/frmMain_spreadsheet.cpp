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

bool frmMain::tableHoldsValues() const { return m_doc->holdsValues(); }

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
    m_doc->useTable(table);
    MSFlexGrid1->setFocus();
    MSFlexGrid1->setCurrent(0, 1);
    // The check Program Meter runs; a table that breaks a rule says so now.
    if (const auto message = TableCheck::failureMessage(CheckPointTable(), pointTable())) {
        const std::optional<TableCheck::Cell> cell = TableCheck::failingCell(pointTable().rows, pointTable().type, pointTable().format);
        MsgBox(cell ? SetupDocument::namingPoint(message->text, cell->row) : message->text, message->style, message->title);
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
    ValueRules::CheckResult refusal;
    if (!m_doc->importWorkbook(path, &refusal)) {
        // An unreadable file is Import's own failure; a cell that is not a number gets the
        // message typing it would give.
        MsgBox(refusal.message, refusal.title == tr(ImportTitle) ? vbExclamation : vbOKOnly, refusal.title);
        return false;
    }
    MSFlexGrid1->setFocus();
    MSFlexGrid1->setCurrent(0, 1);
    recordWorkbookSource(path);
    noteRecentFile(path);
    return true;
}
