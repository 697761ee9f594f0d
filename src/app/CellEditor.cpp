#include "app/CellEditor.h"

#include "app/FlexGrid.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPointer>
#include <algorithm>

CellEditor::CellEditor(QWidget* parent) : QLineEdit(parent)
{
    setFrame(true);
    setAcceptDrops(false);
    setContextMenuPolicy(Qt::NoContextMenu); // no paste past the key filter
}

int CellEditor::SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }

void CellEditor::setSelStart(int start) { setCursorPosition(std::clamp(start, 0, int(text().size()))); }

void CellEditor::setSelLength(int length)
{
    const int start = SelStart();
    if (length > 0)
        setSelection(start, length);
    else
        setCursorPosition(start);
}

void CellEditor::keyPressEvent(QKeyEvent* event)
{
    QPointer<CellEditor> self(this);
    const int code = VbKeyCode(event);
    emit keyDown(code);
    if (!self)
        return;

    int ascii = 0;
    if (code == 13 || code == 27 || code == 8)
        ascii = code;
    else if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) && !event->text().isEmpty() &&
             event->text()[0].isPrint()) // Delete comes with U+007F
        ascii = event->text()[0].unicode();
    if (ascii == 0) { // not a character: caret movement and the like
        if (event->matches(QKeySequence::Paste))
            return; // pasted text would pass by the key filter
        if (code != 38 && code != 40)
            QLineEdit::keyPressEvent(event);
        return;
    }
    emit keyPress(ascii);
    if (!self || ascii == 0 || ascii == 13 || ascii == 27)
        return;
    if (ascii == 8) {
        backspace();
        return;
    }
    if (m_maxLength > 0 && text().size() - selectedText().size() >= m_maxLength)
        return;
    insert(QString(QChar(ascii)));
}

void CellEditor::keyReleaseEvent(QKeyEvent* event)
{
    QLineEdit::keyReleaseEvent(event);
    if (!event->isAutoRepeat())
        emit keyUp(VbKeyCode(event));
}

void CellEditor::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton)
        return; // no selection paste
    QLineEdit::mouseReleaseEvent(event);
    emit clicked();
}

void CellEditor::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    // Losing the whole window (a message box, another program) is not leaving the editor.
    if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
        emit lostFocus();
}
