// Point table, cell editor, input type and decimal point handlers of the window.
//
// The editor is either closed or open over one cell; while it is open its text is a
// pending value of that cell (m_editRow, m_editCol). Every way of leaving a cell goes
// through finishEdit(), which closes the editor before it checks, so a value is checked
// and stored once whatever order the focus and cell events arrive in. Focus-driven
// handlers ignore the focus changes made by the table's own steps (m_handlerDepth).
#include "app/frmMain.h"
#include "app/PickList.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "app/HandlerGuard.h"
#include "table/MeterRules.h"
#include "table/NumberText.h"
#include "table/ValueRules.h"

#include <QLocale>
#include <algorithm>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr int InputColumn = 1;
constexpr int DisplayColumn = 2;
} // namespace

void frmMain::wireTable()
{
    connect(cboSetPoints, &PickList::picked, this, &frmMain::cboSetPoints_Click);
    connect(cboSetPoints, &PickList::lostFocus, this, &frmMain::cboSetPoints_LostFocus);
    connect(cmdReset, &QPushButton::clicked, this, &frmMain::cmdReset_Click);

    connect(MSFlexGrid1, &FlexGrid::leaveCell, this, &frmMain::MSFlexGrid1_LeaveCell);
    connect(MSFlexGrid1, &FlexGrid::enterCell, this, &frmMain::MSFlexGrid1_EnterCell);
    connect(MSFlexGrid1, &FlexGrid::gridClicked, this, &frmMain::MSFlexGrid1_Click);
    connect(MSFlexGrid1, &FlexGrid::gotFocus, this, &frmMain::MSFlexGrid1_GotFocus);
    connect(MSFlexGrid1, &FlexGrid::keyDown, this, &frmMain::MSFlexGrid1_KeyDown);
    connect(MSFlexGrid1, &FlexGrid::keyPress, this, &frmMain::MSFlexGrid1_KeyPress);
    connect(MSFlexGrid1, &FlexGrid::scrolled, this, &frmMain::MSFlexGrid1_Scroll);

    connect(Text1, &CellEditor::keyDown, this, &frmMain::Text1_KeyDown);
    connect(Text1, &CellEditor::keyPress, this, &frmMain::Text1_KeyPress);
    connect(Text1, &CellEditor::keyUp, this, &frmMain::Text1_KeyUp);
    connect(Text1, &CellEditor::clicked, this, &frmMain::Text1_Click);
    connect(Text1, &CellEditor::lostFocus, this, &frmMain::Text1_LostFocus);

    connect(optVoltage, &QRadioButton::clicked, this, &frmMain::optVoltage_Click);
    connect(optCurrent, &QRadioButton::clicked, this, &frmMain::optCurrent_Click);
    connect(optPulse, &QRadioButton::clicked, this, &frmMain::optPulse_Click);
    connect(cboDecimal, &PickList::picked, this, &frmMain::cboDecimal_Click);
    connect(cboDecimal, &PickList::gotFocus, this, &frmMain::cboDecimal_GotFocus);
    wireClipboard();
}

// ---- Point table and number of points ----

PointTable frmMain::pointTable() const
{
    PointTable table{selectedInputType(), cboDecimal->Text(), {}};
    for (int r = MSFlexGrid1->FixedRows(); r < MSFlexGrid1->Rows(); ++r)
        table.rows.append({MSFlexGrid1->TextMatrix(r, 1), MSFlexGrid1->TextMatrix(r, 2)});
    return table;
}

void frmMain::cboSetPoints_Click()
{
    finishEdit(true); // a value still being typed (Open Settings from the menu) is taken first
    UndoStep step(*this, tr("No. of Points"));
    MSFlexGrid1->setColWidth(0, 325);
    MSFlexGrid1->setColWidth(1, 1000);
    MSFlexGrid1->setColWidth(2, 1000);
    const QString text = cboSetPoints->Text();
    for (int n = MeterRules::MinPoints; n <= MeterRules::MaxPoints; ++n) {
        if (text == QString::number(n)) {
            MSFlexGrid1->show();
            MSFlexGrid1->setRows(n);
            for (int r = 0; r < n; ++r)
                MSFlexGrid1->setTextMatrix(r, 0, QString::number(r + 1));
        }
    }
    cmdExport->setEnabled(true);
    cmdImport->setEnabled(true);
}

void frmMain::cboSetPoints_LostFocus() { cboSetPoints->setEnabled(false); }

void frmMain::closeEditorWidget()
{
    // Hiding the focused editor would pass the focus to whatever control comes next.
    if (Text1->hasFocus() || focusWidget() == Text1)
        MSFlexGrid1->setFocus(Qt::OtherFocusReason);
    Text1->hide();
}

void frmMain::CommitCellEditor()
{
    if (!m_editOpen) {
        Text1->hide();
        return;
    }
    HandlerGuard guard(m_handlerDepth);
    m_editOpen = false;
    closeEditorWidget();
    MSFlexGrid1->setTextMatrix(m_editRow, m_editCol, Text1->text());
}

void frmMain::finishEdit(bool check)
{
    if (!m_editOpen)
        return;
    HandlerGuard guard(m_handlerDepth);
    m_editOpen = false; // from here on a nested focus event finds nothing left to take
    const int row = m_editRow, col = m_editCol;
    closeEditorWidget();
    MSFlexGrid1->setTextMatrix(row, col, Text1->text());
    if (check) {
        if (col == InputColumn)
            CheckInputValue();
        else if (col == DisplayColumn)
            CheckDisplayValue();
        MSFlexGrid1->setTextMatrix(row, col, Text1->text());
    }
}

void frmMain::ClearSelectedCells()
{
    MSFlexGrid1->setRedraw(false);
    const int r1 = MSFlexGrid1->Row(), c1 = MSFlexGrid1->Col();
    const int r2 = MSFlexGrid1->RowSel(), c2 = MSFlexGrid1->ColSel();
    const int rowStep = r1 < r2 ? 1 : -1;
    const int colStep = c1 < c2 ? 1 : -1;
    for (int r = r1;; r += rowStep) {
        for (int c = c1;; c += colStep) {
            MSFlexGrid1->setTextMatrix(r, c, QString());
            if (c == c2)
                break;
        }
        if (r == r2)
            break;
    }
    Text1->setText(QString());
    MSFlexGrid1->setRedraw(true);
}

void frmMain::cmdReset_Click()
{
    CommitCellEditor();
    UndoStep step(*this, tr("Clear"));
    ClearSelectedCells();
    Text1->hide();
    MSFlexGrid1->setText(Text1->text());
    cboSetPoints->setEnabled(true);
}

// ---- Value checks ----

std::optional<InputType> frmMain::selectedInputType() const
{
    if (optVoltage->isChecked())
        return InputType::Voltage;
    if (optCurrent->isChecked())
        return InputType::Current;
    if (optPulse->isChecked())
        return InputType::Pulse;
    return std::nullopt;
}

void frmMain::CheckInputValue()
{
    const QString text = Text1->text();
    if (text.isEmpty())
        return;
    const std::optional<InputType> type = selectedInputType();
    if (!type) { // no type selected: written in the three-decimal form, no range
        Text1->setText(NumberText::normalForm(text, MeterRules::inputDecimals(type)));
        return;
    }
    const ValueRules::CheckResult result = ValueRules::checkInput(text, *type);
    if (!result.rejected) {
        Text1->setText(result.text);
        return;
    }
    Text1->setText(NumberText::normalForm(text, MeterRules::inputDecimals(type)));
    MsgBox(result.message, vbOKOnly, result.title);
    Text1->setText(QString());
}

void frmMain::CheckDisplayValue()
{
    const QString text = Text1->text();
    if (text.isEmpty())
        return;
    const QString format = cboDecimal->Text();
    const ValueRules::CheckResult result = ValueRules::checkDisplay(text, format);
    if (!result.rejected) {
        Text1->setText(result.text);
        return;
    }
    Text1->setText(NumberText::normalForm(text, ValueRules::formatDecimals(format)));
    MsgBox(result.message, vbOKOnly, result.title);
    Text1->setText(QString());
}

// ---- Cell editor ----

QString frmMain::EditorTextOfCell() const
{
    const QString text = MSFlexGrid1->Text();
    for (QChar c : text) {
        if (c != QLatin1Char(' '))
            return text;
    }
    return QString();
}

void frmMain::ShowCellEditor()
{
    const int row = MSFlexGrid1->Row(), col = MSFlexGrid1->Col();
    if (row < 0 || row >= MSFlexGrid1->Rows() || col < MSFlexGrid1->FixedCols() || col >= MSFlexGrid1->Cols())
        return;
    if (m_editOpen && (m_editRow != row || m_editCol != col))
        finishEdit(true);
    HandlerGuard guard(m_handlerDepth);
    // Typing already under way over this very cell is kept.
    const bool keepTyped = m_editOpen && Text1->isModified();
    MSFlexGrid1->scrollTo(MSFlexGrid1->model()->index(row, col));
    if (!keepTyped)
        Text1->setText(EditorTextOfCell());
    const QPoint topLeft = MSFlexGrid1->mapTo(Text1->parentWidget(), QPoint(MSFlexGrid1->CellLeft(), MSFlexGrid1->CellTop()));
    Text1->setGeometry(topLeft.x(), topLeft.y(), MSFlexGrid1->CellWidth(), MSFlexGrid1->CellHeight());
    m_editOpen = true;
    m_editRow = row;
    m_editCol = col;
    Text1->show();
    Text1->setSelStart(0);
    Text1->setSelLength(int(Text1->text().size()));
    Text1->raise();
    Text1->setFocus(Qt::OtherFocusReason);
}

void frmMain::MoveToNextCell()
{
    const int row = MSFlexGrid1->Row(), col = MSFlexGrid1->Col();
    if (col + 1 < MSFlexGrid1->Cols()) {
        MSFlexGrid1->setCol(col + 1);
    } else if (row + 1 != MSFlexGrid1->Rows()) {
        MSFlexGrid1->setCurrent(row + 1, InputColumn);
    } else {
        HandlerGuard guard(m_handlerDepth);
        finishEdit(true);
        MSFlexGrid1->setFocus(Qt::OtherFocusReason);
        cmdProgramMeter->setFocus(Qt::OtherFocusReason);
    }
}

void frmMain::MSFlexGrid1_Click()
{
    ShowCellEditor();
    cboSetPoints->setEnabled(false);
}

void frmMain::MSFlexGrid1_EnterCell()
{
    ShowCellEditor();
    MSFlexGrid1->Refresh();
}

void frmMain::MSFlexGrid1_LeaveCell() { finishEdit(true); }

void frmMain::MSFlexGrid1_Scroll()
{
    if (m_handlerDepth > 0)
        return; // the table's own scrolling into view
    // The editor no longer lies over its cell: close it. The value is checked as on any
    // other way out of the cell, so no unchecked value stays in the table.
    finishEdit(true);
}

void frmMain::MSFlexGrid1_GotFocus()
{
    if (m_handlerDepth > 0)
        return;
    if (m_editOpen) { // the editor lost the focus without its own step
        finishEdit(true);
        return;
    }
    Text1->setText(EditorTextOfCell());
    // Reached by the keyboard, the grid opens its current cell (at first the first point's
    // input cell) for typing, as a click there does; the point-number column is never current.
    const Qt::FocusReason reason = MSFlexGrid1->focusReason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
        MSFlexGrid1->setCurrent(MSFlexGrid1->Row(), std::max(MSFlexGrid1->Col(), InputColumn));
}

void frmMain::MSFlexGrid1_KeyDown(int keyCode)
{
    if (keyCode != vbKeyDelete || m_editOpen)
        return;
    UndoStep step(*this, tr("Delete"));
    MSFlexGrid1->setText(QString());
    Text1->setText(QString());
}

void frmMain::MSFlexGrid1_KeyPress(int keyAscii)
{
    if (keyAscii == vbKeyReturn)
        MoveToNextCell();
}

void frmMain::Text1_Click()
{
    cboSetPoints->setEnabled(false);
    Text1->setSelStart(0);
    Text1->setSelLength(int(Text1->text().size()));
}

void frmMain::Text1_KeyDown(int keyCode)
{
    switch (keyCode) {
    case vbKeyEscape: { // Esc: the typed text is dropped, the cell keeps its value
        if (!m_editOpen)
            return;
        HandlerGuard guard(m_handlerDepth);
        m_editOpen = false;
        Text1->setText(EditorTextOfCell());
        closeEditorWidget();
        MSFlexGrid1->setFocus(Qt::OtherFocusReason);
        return;
    }
    case vbKeyReturn: MoveToNextCell(); return;
    case vbKeyUp:
    case vbKeyDown: {
        {
            HandlerGuard guard(m_handlerDepth);
            finishEdit(true);
            MSFlexGrid1->setFocus(Qt::OtherFocusReason);
        }
        const int row = MSFlexGrid1->Row();
        if (keyCode == vbKeyDown && row < MSFlexGrid1->Rows() - 1)
            MSFlexGrid1->setRow(row + 1);
        else if (keyCode == vbKeyUp && row > MSFlexGrid1->FixedRows())
            MSFlexGrid1->setRow(row - 1);
        return;
    }
    default: return;
    }
}

void frmMain::Text1_KeyPress(int& keyAscii)
{
    // Where the decimal separator is a comma, a typed comma is the decimal point; the text
    // keeps the "." form. Elsewhere a comma is a thousands separator and stays ignored.
    if (keyAscii == ',' && QLocale().decimalPoint() == QStringLiteral(","))
        keyAscii = '.';
    const QString t = Text1->text();
    const QChar k(keyAscii);
    const bool hasPoint = t.contains(QLatin1Char('.'));
    if (k == QLatin1Char('.') && hasPoint) {
        keyAscii = 0;
        return;
    }
    const bool allowed =
        (k >= QLatin1Char('0') && k <= QLatin1Char('9')) || k == QLatin1Char('-') || k == QLatin1Char('.') || keyAscii == 8;
    if (!allowed) {
        keyAscii = 0;
        return;
    }
    if (!hasPoint && t.size() > 5)
        Text1->setTypedMaxLength(6);
    else if (hasPoint)
        Text1->setTypedMaxLength(7);
    if (Text1->SelLength() == t.size()) {
        if (k == QLatin1Char('-') && !t.isEmpty()) {
            Text1->setText(QStringLiteral("-"));
            Text1->setModified(true);
            Text1->setSelStart(1);
            keyAscii = 0;
        }
        return;
    }
    if (!t.isEmpty() && k == QLatin1Char('-'))
        keyAscii = 0;
}

void frmMain::Text1_KeyUp(int keyCode)
{
    // After Enter the editor shows the cell it has moved to.
    if (keyCode != vbKeyReturn || !m_editOpen || Text1->isModified() || Text1->text() == EditorTextOfCell())
        return;
    Text1->setText(EditorTextOfCell());
    Text1->setSelStart(0);
    Text1->setSelLength(int(Text1->text().size()));
}

void frmMain::Text1_LostFocus()
{
    if (m_handlerDepth > 0 || !m_editOpen)
        return; // the table's own steps move the focus and store the value themselves
    HandlerGuard guard(m_handlerDepth);
    finishEdit(true);
    if (!MSFlexGrid1->isVisible() || !MSFlexGrid1->isEnabled()) {
        setPanelText(1, tr("Re-enter value for previous cell"));
        RestartStatusTimer();
        return;
    }
    MSFlexGrid1->setFocus(Qt::OtherFocusReason);
}

// ---- Input type and decimal point ----

void frmMain::applyInputType(int type)
{
    const auto inputType = static_cast<InputType>(type);
    QRadioButton* option = inputType == InputType::Voltage ? optVoltage : inputType == InputType::Current ? optCurrent : optPulse;
    finishEdit(true);
    if (option->isChecked() && m_typeInForce == inputType)
        return; // re-selecting the type in force changes nothing
    UndoStep step(*this, tr("Input Type"));
    if (option->isChecked()) {
        m_typeInForce = inputType;
        const ValueRules::InputDefaults d = ValueRules::defaultsFor(inputType);
        lblRow->show();
        lblInput->setText(d.heading);
        lblInput->show();
        lblDisplay->setText(tr(ValueRules::DisplayHeading)); // the start-up's heading, translated alike
        lblDisplay->show();
        Text1->setText(d.point1);
        MSFlexGrid1->setTextMatrix(0, InputColumn, d.point1);
        MSFlexGrid1->setTextMatrix(1, InputColumn, d.point2);
        MSFlexGrid1->setTextMatrix(0, DisplayColumn, d.point1);
        MSFlexGrid1->setTextMatrix(1, DisplayColumn, d.point2);
        MSFlexGrid1->setTextMatrix(0, 0, QStringLiteral("1"));
        MSFlexGrid1->setTextMatrix(1, 0, QStringLiteral("2"));
        selectListText(cboDecimal, d.format);
    }
    Text1->setText(EditorTextOfCell());
}

void frmMain::optVoltage_Click() { applyInputType(int(InputType::Voltage)); }
void frmMain::optCurrent_Click() { applyInputType(int(InputType::Current)); }
void frmMain::optPulse_Click() { applyInputType(int(InputType::Pulse)); }

void frmMain::cboDecimal_Click()
{
    const QString format = cboDecimal->Text();
    if (ValueRules::formatDecimals(format) < 0 || format == m_decimalInForce)
        return; // nothing to move: the display values are already in this format
    finishEdit(true);
    UndoStep step(*this, tr("Decimal Point"));
    for (int r = 0; r < MSFlexGrid1->Rows(); ++r)
        MSFlexGrid1->setTextMatrix(r, DisplayColumn, ValueRules::rescaleDisplay(MSFlexGrid1->TextMatrix(r, DisplayColumn), format));
    m_decimalInForce = format;
    Text1->setText(EditorTextOfCell());
}

void frmMain::cboDecimal_GotFocus() { CommitCellEditor(); }
