// Ctrl+C and Ctrl+V on the point table. Copy gives the selected cells as TAB-separated
// rows; paste fills cells from the current one rightwards and downwards, each value
// checked and written as if typed into its cell (SetupDocument::paste); a block with a
// cell that is not a number is refused whole. Like a click on the grid, both lock the
// number of points.
#include "app/frmMain.h"
#include "app/PickList.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"
#include "app/HandlerGuard.h"
#include "table/GridClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <algorithm>
#include <functional>

namespace {
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
            m_doc->setCountUnlocked(false);
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
    m_doc->setCountUnlocked(false);
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
    const QList<QStringList> rows = GridClipboard::fromText(text);
    const int row0 = m_editOpen ? m_editRow : MSFlexGrid1->Row();
    const int col0 = m_editOpen ? m_editCol : MSFlexGrid1->Col();
    if (rows.isEmpty()) {
        m_doc->setCountUnlocked(false);
        return;
    }
    {
        HandlerGuard guard(m_handlerDepth);
        m_editOpen = false; // the pasted values replace what was being typed
        closeEditorWidget();
    }
    const SetupDocument::PasteResult pasted = m_doc->paste(row0, col0, rows);
    Text1->setText(EditorTextOfCell());
    MSFlexGrid1->setFocus(Qt::OtherFocusReason);
    if (pasted.refused) { // the refused cell, open for a new value
        MsgBox(pasted.refusal.message, vbOKOnly, pasted.refusal.title);
        MSFlexGrid1->setCurrent(pasted.row, pasted.column);
        return;
    }
    if (pasted.beyond > 0) {
        setPanelText(1, tr("%1 pasted rows beyond the last point ignored").arg(pasted.beyond));
        RestartStatusTimer();
    }
}
