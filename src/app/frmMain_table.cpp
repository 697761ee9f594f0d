// Point table, cell editor, input type and decimal point handlers of the window. The
// handlers hand every change to the setup document; the controls show it (showDocument).
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
#include "table/ValueRules.h"

#include <algorithm>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace {
constexpr int InputColumn = SetupDocument::InputColumn;
constexpr int DisplayColumn = SetupDocument::DisplayColumn;

// Shows a list's value: an entry no list offers (from a settings file) is added at the end.
void showValue(PickList* list, const QString& value)
{
    if (value.isEmpty()) {
        list->setCurrentIndex(-1);
        return;
    }
    int index = list->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        list->AddItem(value);
        index = list->ListCount() - 1;
    }
    list->setCurrentIndex(index);
}
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
    // The serial lists are the document's address, port and baud rate.
    connect(cboAddress, &QComboBox::currentIndexChanged, this, [this] { m_doc->setAddress(cboAddress->Text()); });
    connect(cboCommPort, &QComboBox::currentIndexChanged, this, [this] { m_doc->setPort(cboCommPort->Text()); });
    connect(cboBaudRate, &QComboBox::currentIndexChanged, this, [this] { m_doc->setBaud(cboBaudRate->Text()); });
    connect(m_doc, &SetupDocument::settingsChanged, this, &frmMain::showDocument);
    showDocument();
}

void frmMain::showDocument()
{
    const std::optional<InputType> type = m_doc->type();
    const std::pair<QRadioButton*, InputType> options[] = {
        {optVoltage, InputType::Voltage}, {optCurrent, InputType::Current}, {optPulse, InputType::Pulse}};
    for (const auto& [option, t] : options) {
        if (option->isChecked() == (type == t))
            continue;
        // Clearing one option of an exclusive group leaves the others as they are.
        option->setAutoExclusive(false);
        option->setChecked(type == t);
        option->setAutoExclusive(true);
    }
    if (type) {
        lblRow->show();
        lblInput->setText(ValueRules::defaultsFor(*type).heading);
        lblInput->show();
        lblDisplay->setText(tr("  Display"));
        lblDisplay->show();
    }
    showValue(cboDecimal, m_doc->format());
    showValue(cboSetPoints, m_doc->points());
    showValue(cboAddress, m_doc->address());
    showValue(cboCommPort, m_doc->port());
    showValue(cboBaudRate, m_doc->baud());
    cboSetPoints->setEnabled(m_doc->countUnlocked());
}

// ---- Point table and number of points ----

void frmMain::cboSetPoints_Click()
{
    finishEdit(true); // a value still being typed (Open Settings from the menu) is taken first
    UndoStep step(*this, tr("No. of Points"));
    MSFlexGrid1->setColWidth(0, 325);
    MSFlexGrid1->setColWidth(1, 1000);
    MSFlexGrid1->setColWidth(2, 1000);
    m_doc->choosePoints(cboSetPoints->Text());
    MSFlexGrid1->show();
    cmdExport->setEnabled(true);
    cmdImport->setEnabled(true);
}

void frmMain::cboSetPoints_LostFocus() { m_doc->setCountUnlocked(false); }

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
    m_doc->setCell(m_editRow, m_editCol, Text1->text());
}

void frmMain::finishEdit(bool check)
{
    if (!m_editOpen)
        return;
    HandlerGuard guard(m_handlerDepth);
    m_editOpen = false; // from here on a nested focus event finds nothing left to take
    const int row = m_editRow, col = m_editCol;
    closeEditorWidget();
    if (!check) {
        m_doc->setCell(row, col, Text1->text());
        return;
    }
    const ValueRules::CheckResult checked = m_doc->checkTyped(col, Text1->text());
    if (checked.rejected) { // the cell keeps the value it had
        MsgBox(checked.message, vbOKOnly, checked.title);
        Text1->setText(m_doc->cell(row, col));
        return;
    }
    Text1->setText(checked.text);
    m_doc->setCell(row, col, checked.text);
}

void frmMain::ClearSelectedCells()
{
    m_doc->clearCells(MSFlexGrid1->Row(), MSFlexGrid1->Col(), MSFlexGrid1->RowSel(), MSFlexGrid1->ColSel());
    Text1->setText(QString());
}

void frmMain::cmdReset_Click()
{
    CommitCellEditor();
    UndoStep step(*this, tr("Clear"));
    ClearSelectedCells();
    Text1->hide();
    m_doc->setCountUnlocked(true);
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
    MSFlexGrid1->delegate()->placeEditor(Text1);
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
    m_doc->setCountUnlocked(false);
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
    m_doc->setCell(MSFlexGrid1->Row(), MSFlexGrid1->Col(), QString());
    Text1->setText(QString());
}

void frmMain::MSFlexGrid1_KeyPress(int keyAscii)
{
    if (keyAscii == vbKeyReturn)
        MoveToNextCell();
}

void frmMain::Text1_Click()
{
    m_doc->setCountUnlocked(false);
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

void frmMain::Text1_KeyPress(int& keyAscii) { GridDelegate::filterTypedKey(Text1, keyAscii); }

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
    finishEdit(true);
    UndoStep step(*this, tr("Input Type"));
    m_doc->chooseType(static_cast<InputType>(type)); // the type in force again changes nothing
    Text1->setText(EditorTextOfCell());
}

void frmMain::optVoltage_Click() { applyInputType(int(InputType::Voltage)); }
void frmMain::optCurrent_Click() { applyInputType(int(InputType::Current)); }
void frmMain::optPulse_Click() { applyInputType(int(InputType::Pulse)); }

void frmMain::cboDecimal_Click()
{
    if (cboDecimal->Text() == m_doc->format())
        return; // nothing to move: the display values are already in this format
    finishEdit(true);
    UndoStep step(*this, tr("Decimal Point"));
    m_doc->chooseFormat(cboDecimal->Text());
    Text1->setText(EditorTextOfCell());
}

void frmMain::cboDecimal_GotFocus() { CommitCellEditor(); }
