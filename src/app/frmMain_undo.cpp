// Undo and Redo of the setup's changes. A step holds the document's state before and after
// it, and is named in the Edit menu ("Undo Clear"); undoing puts the whole state back
// (input type, decimal point, point count and its lock, address, port, baud rate, every
// cell). Values typed after a step are taken into its "after" state when it is undone, so
// Redo brings them back too.
#include "app/frmMain.h"

#include "app/CellEditor.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QUndoStack>
#include <utility>

namespace {
class TableStepCommand : public QUndoCommand {
public:
    TableStepCommand(frmMain* w, const QString& text, frmMain::TableState before, frmMain::TableState after)
        : QUndoCommand(text), m_w(w), m_before(std::move(before)), m_after(std::move(after))
    {
    }
    void undo() override { m_w->restoreTableState(m_before, &m_after); }
    void redo() override
    {
        if (std::exchange(m_done, false))
            return; // pushed after the change was made
        m_w->restoreTableState(m_after);
    }

private:
    frmMain* m_w;
    frmMain::TableState m_before, m_after;
    bool m_done = true;
};

// The cell editor keeps Ctrl+Z for its own typing; with nothing typed it leaves the key to
// the window's Undo.
class EditorUndoKeys : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool undoKey = key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
                             key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y);
        auto* editor = static_cast<CellEditor*>(watched);
        return undoKey && !editor->isUndoAvailable() && !editor->isRedoAvailable();
    }
};
} // namespace

void frmMain::wireUndo()
{
    m_undo = new QUndoStack(this);
    connect(m_undo, &QUndoStack::canUndoChanged, mnuUndo, &QAction::setEnabled);
    connect(m_undo, &QUndoStack::canRedoChanged, mnuRedo, &QAction::setEnabled);
    connect(m_undo, &QUndoStack::undoTextChanged, mnuUndo, [this](const QString& text) {
        mnuUndo->setText(text.isEmpty() ? tr("Undo") : tr("Undo %1").arg(text));
        mnuUndo->setStatusTip(mnuUndo->text());
    });
    connect(m_undo, &QUndoStack::redoTextChanged, mnuRedo, [this](const QString& text) {
        mnuRedo->setText(text.isEmpty() ? tr("Redo") : tr("Redo %1").arg(text));
        mnuRedo->setStatusTip(mnuRedo->text());
    });
    mnuUndo->setEnabled(false);
    mnuRedo->setEnabled(false);
    // Never in the middle of a run or a search, which read the table while they wait.
    connect(mnuUndo, &QAction::triggered, this, [this] {
        if (!m_running && !m_searching)
            m_undo->undo();
    });
    connect(mnuRedo, &QAction::triggered, this, [this] {
        if (!m_running && !m_searching)
            m_undo->redo();
    });
    Text1->installEventFilter(new EditorUndoKeys(this));
}

void frmMain::restoreTableState(const TableState& state, TableState* current)
{
    finishEdit(true);
    if (current)
        *current = m_doc->state();
    m_doc->restore(state);
    Text1->setText(EditorTextOfCell());
}

void frmMain::beginTableStep(const QString& what)
{
    if (m_stepDepth++ > 0)
        return;
    m_stepBefore = tableState();
    m_stepText = what;
}

void frmMain::endTableStep()
{
    if (--m_stepDepth > 0 || !m_stepBefore)
        return;
    TableState before = *std::exchange(m_stepBefore, std::nullopt);
    TableState after = tableState();
    if (after != before)
        m_undo->push(new TableStepCommand(this, m_stepText, std::move(before), std::move(after)));
}
