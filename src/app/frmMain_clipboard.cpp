// Ctrl+C and Ctrl+V on the point table. Copy gives the selected cells as TAB-separated
// rows; paste fills cells from the current one rightwards and downwards, each value
// checked and written as if typed into its cell; a block with a cell that is not a
// number is refused whole. Like a click on the grid, both lock the number of points.
#include "app/frmMain.h"
#include "app/PickList.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "app/HandlerGuard.h"
#include "table/GridClipboard.h"
#include "table/ValueRules.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <algorithm>
#include <functional>

namespace {
constexpr int ClipboardInputColumn = 1; // the grid column of input values

class ClipboardKeys : public QObject {
public:
    ClipboardKeys(QObject* parent, std::function<bool(QObject*, QKeyEvent*)> handler) : QObject(parent), m_handler(std::move(handler)) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress)
            return m_handler(watched, static_cast<QKeyEvent*>(event));
        return false;
    }

private:
    std::function<bool(QObject*, QKeyEvent*)> m_handler;
};
} // namespace

void frmMain::wireClipboard()
{
    auto* keys = new ClipboardKeys(this, [this](QObject* watched, QKeyEvent* event) {
        const bool editor = watched == Text1;
        if (event->matches(QKeySequence::Copy)) {
            const bool oneCell = MSFlexGrid1->Row() == MSFlexGrid1->RowSel() && MSFlexGrid1->Col() == MSFlexGrid1->ColSel();
            if (editor && oneCell)
                return false; // the editor copies its own selected text
            copyCells();
            return true;
        }
        if (!event->matches(QKeySequence::Paste))
            return false;
        const QString text = QGuiApplication::clipboard()->text();
        if (editor && GridClipboard::valueCount(GridClipboard::fromText(text)) <= 1) {
            // One value is typed into the editor, key by key through its filter.
            const QString value = text.trimmed();
            for (QChar c : value) {
                QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
                QCoreApplication::sendEvent(Text1, &press);
            }
            cboSetPoints->setEnabled(false);
            return true;
        }
        pasteCells(text);
        return true;
    });
    MSFlexGrid1->installEventFilter(keys);
    Text1->installEventFilter(keys);
}

void frmMain::copyCells()
{
    cboSetPoints->setEnabled(false);
    const int r1 = std::min(MSFlexGrid1->Row(), MSFlexGrid1->RowSel()), r2 = std::max(MSFlexGrid1->Row(), MSFlexGrid1->RowSel());
    const int c1 = std::max(MSFlexGrid1->FixedCols(), std::min(MSFlexGrid1->Col(), MSFlexGrid1->ColSel()));
    const int c2 = std::max(MSFlexGrid1->Col(), MSFlexGrid1->ColSel());
    QList<QStringList> rows;
    for (int r = r1; r <= r2; ++r) {
        QStringList cells;
        for (int c = c1; c <= c2; ++c)
            cells << MSFlexGrid1->TextMatrix(r, c).trimmed();
        rows << cells;
    }
    QGuiApplication::clipboard()->setText(GridClipboard::toText(rows));
}

void frmMain::pasteCells(const QString& text)
{
    UndoStep step(*this, tr("Paste"));
    cboSetPoints->setEnabled(false);
    const QList<QStringList> rows = GridClipboard::fromText(text);
    if (rows.isEmpty())
        return;
    const int row0 = m_editOpen ? m_editRow : MSFlexGrid1->Row();
    const int col0 = m_editOpen ? m_editCol : MSFlexGrid1->Col();
    // A cell that is not a number (a heading row, a comma for the point) refuses the whole
    // block before anything is stored, with the message its column gives a typed value.
    for (int i = 0; i < rows.size() && row0 + i < MSFlexGrid1->Rows(); ++i) {
        for (int j = 0; j < rows[i].size() && col0 + j < MSFlexGrid1->Cols(); ++j) {
            const ValueRules::CheckResult refusal =
                ValueRules::refuseNonNumber(rows[i][j], col0 + j == ClipboardInputColumn, selectedInputType(), cboDecimal->Text());
            if (refusal.rejected) {
                MsgBox(refusal.message, vbOKOnly, refusal.title);
                return;
            }
        }
    }
    int refusedRow = -1, refusedCol = -1;
    {
        HandlerGuard guard(m_handlerDepth);
        m_editOpen = false; // the pasted values replace what was being typed
        closeEditorWidget();
        for (int i = 0; i < rows.size() && row0 + i < MSFlexGrid1->Rows() && refusedRow < 0; ++i) {
            for (int j = 0; j < rows[i].size() && col0 + j < MSFlexGrid1->Cols(); ++j) {
                const int r = row0 + i, c = col0 + j;
                const QString value = rows[i][j];
                Text1->setText(value);
                if (c == ClipboardInputColumn)
                    CheckInputValue();
                else
                    CheckDisplayValue();
                MSFlexGrid1->setTextMatrix(r, c, Text1->text());
                if (!value.isEmpty() && Text1->text().isEmpty()) {
                    refusedRow = r;
                    refusedCol = c;
                    break;
                }
            }
        }
        Text1->setText(EditorTextOfCell());
    }
    const int extra = int(rows.size()) - (MSFlexGrid1->Rows() - row0);
    if (refusedRow < 0 && extra > 0) {
        setPanelText(1, tr("%1 pasted rows beyond the last point ignored").arg(extra));
        RestartStatusTimer();
    }
    MSFlexGrid1->setFocus(Qt::OtherFocusReason);
    if (refusedRow >= 0) // the refused cell is open for a new value
        MSFlexGrid1->setCurrent(refusedRow, refusedCol);
}
