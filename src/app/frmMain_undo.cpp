// Undo and Redo of the table's changes. A step holds the table's state before and after
// it; undoing puts the state back through the controls' own handlers (input type,
// decimal point, No. of Points), then writes every cell. Values typed after a step are
// taken into its "after" state when it is undone, so Redo brings them back too.
#include "app/frmMain.h"

#include "app/PickList.h"
#include "app/CellEditor.h"
#include "app/FlexGrid.h"

#include <QAction>
#include <QEvent>
#include <QKeyEvent>
#include <QRadioButton>
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
        mnuUndo->setStatusTip(text);
        mnuUndo->setToolTip(text.isEmpty() ? tr("Undo") : tr("Undo %1").arg(text));
    });
    connect(m_undo, &QUndoStack::redoTextChanged, mnuRedo, [this](const QString& text) {
        mnuRedo->setStatusTip(text);
        mnuRedo->setToolTip(text.isEmpty() ? tr("Redo") : tr("Redo %1").arg(text));
    });
    mnuUndo->setEnabled(false);
    mnuRedo->setEnabled(false);
    // Never in the middle of a run or a search, which read the table while they wait.
    connect(mnuUndo, &QAction::triggered, this, [this] {
        if (!m_running && !m_searching && !m_opening)
            m_undo->undo();
    });
    connect(mnuRedo, &QAction::triggered, this, [this] {
        if (!m_running && !m_searching && !m_opening)
            m_undo->redo();
    });
    Text1->installEventFilter(new EditorUndoKeys(this));
    // A click on an option unchecks the other before its handler runs: remember which type
    // the table was in.
    for (QRadioButton* option : {optVoltage, optCurrent, optPulse})
        connect(option, &QAbstractButton::toggled, this, [this, option](bool on) {
            if (!on && m_stepDepth == 0 && !m_restoringTable)
                m_typeBefore = option == optVoltage ? InputType::Voltage : option == optCurrent ? InputType::Current : InputType::Pulse;
        });
}

frmMain::TableState frmMain::tableState() const
{
    TableState state;
    state.type = selectedInputType();
    // The format the display values are written in, which a list choice changes only
    // once its handler has rescaled them.
    state.format = m_decimalInForce.isEmpty() ? cboDecimal->Text() : m_decimalInForce;
    state.rows = pointTable().rows;
    state.countUnlocked = cboSetPoints->isEnabled();
    state.fitSource = m_fitSource;
    return state;
}

void frmMain::restoreTableState(const TableState& state, TableState* current)
{
    m_restoringTable = true;
    finishEdit(true);
    if (current)
        *current = tableState();
    if (state.type != selectedInputType()) {
        if (state.type)
            setOptionValue(*state.type == InputType::Voltage ? optVoltage : *state.type == InputType::Current ? optCurrent : optPulse, true);
        else {
            for (QRadioButton* option : {optVoltage, optCurrent, optPulse})
                setOptionValue(option, false);
            m_typeInForce.reset();
        }
    }
    if (!state.format.isEmpty())
        selectListText(cboDecimal, state.format);
    selectListText(cboSetPoints, QString::number(state.rows.size()));
    MSFlexGrid1->setRedraw(false);
    for (int r = 0; r < state.rows.size() && r < MSFlexGrid1->Rows(); ++r) {
        MSFlexGrid1->setTextMatrix(r, 1, state.rows[r].input);
        MSFlexGrid1->setTextMatrix(r, 2, state.rows[r].display);
    }
    MSFlexGrid1->setRedraw(true);
    cboSetPoints->setEnabled(state.countUnlocked);
    Text1->setText(EditorTextOfCell());
    setFitSource(state.fitSource);
    m_restoringTable = false;
}

void frmMain::beginTableStep(const QString& what)
{
    if (m_stepDepth++ > 0 || m_restoringTable)
        return;
    m_stepBefore = tableState();
    if (m_typeBefore)
        m_stepBefore->type = m_typeBefore;
    m_typeBefore.reset();
    m_stepText = what;
}

void frmMain::endTableStep()
{
    if (--m_stepDepth > 0 || m_restoringTable || !m_stepBefore)
        return;
    TableState before = *std::exchange(m_stepBefore, std::nullopt);
    TableState after = tableState();
    if (after != before)
        m_undo->push(new TableStepCommand(this, m_stepText, std::move(before), std::move(after)));
}
