// Point table, cell editor, input type and decimal point handlers of the window.
#include "app/frmMain.h"
#include "app/PickList.h"
#include "table/CellEditor.h"
#include "table/FlexGrid.h"

#include <QPushButton>

void frmMain::wireTable()
{
    connect(cboSetPoints, &PickList::picked, this, &frmMain::cboSetPoints_Click);
}
void frmMain::cboSetPoints_Click()
{
    MSFlexGrid1->setColWidth(0, 325);
    MSFlexGrid1->setColWidth(1, 1000);
    MSFlexGrid1->setColWidth(2, 1000);
    const QString text = cboSetPoints->Text();
    for (int n = 2; n <= 32; ++n) {
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
void frmMain::cboSetPoints_LostFocus() {}
void frmMain::CommitCellEditor() {}
void frmMain::ClearSelectedCells() {}
void frmMain::cmdReset_Click() {}
void frmMain::CheckInputValue() {}
void frmMain::CheckDisplayValue() {}
void frmMain::ShowCellEditor() {}
void frmMain::MoveToNextCell() {}
QString frmMain::EditorTextOfCell() const { return {}; }
void frmMain::MSFlexGrid1_Click() {}
void frmMain::MSFlexGrid1_EnterCell() {}
void frmMain::MSFlexGrid1_LeaveCell() {}
void frmMain::MSFlexGrid1_Scroll() {}
void frmMain::MSFlexGrid1_GotFocus() {}
void frmMain::MSFlexGrid1_KeyDown(int) {}
void frmMain::MSFlexGrid1_KeyPress(int) {}
void frmMain::Text1_Click() {}
void frmMain::Text1_KeyDown(int) {}
void frmMain::Text1_KeyPress(int&) {}
void frmMain::Text1_KeyUp(int) {}
void frmMain::Text1_LostFocus() {}
void frmMain::optVoltage_Click() {}
void frmMain::optCurrent_Click() {}
void frmMain::optPulse_Click() {}
void frmMain::cboDecimal_Click() {}
void frmMain::cboDecimal_GotFocus() {}
