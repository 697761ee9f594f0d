#include "app/PickList.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QWheelEvent>

PickList::PickList(QWidget* parent) : QComboBox(parent)
{
    setEditable(false);
    setMaxVisibleItems(12);
    connect(this, &QComboBox::activated, this, &PickList::picked);
}

bool PickList::selectText(const QString& text)
{
    for (int i = 0; i < count(); ++i) {
        if (itemText(i) == text) {
            setCurrentIndex(i);
            emit picked();
            return true;
        }
    }
    return false;
}

namespace {
// Opening the list's own popup, or the window losing or regaining activation (another
// application, a popup window), is not the focus moving to or from another control.
bool movesBetweenControls(const QFocusEvent* event)
{
    return event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason;
}
} // namespace

void PickList::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    if (movesBetweenControls(event))
        emit gotFocus();
}

void PickList::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    if (movesBetweenControls(event) && !view()->isVisible())
        emit lostFocus();
}

void PickList::wheelEvent(QWheelEvent* event)
{
    // A wheel turned over a list the user is not working with scrolls past it.
    if (!hasFocus() && !view()->isVisible()) {
        event->ignore();
        return;
    }
    QComboBox::wheelEvent(event);
}
