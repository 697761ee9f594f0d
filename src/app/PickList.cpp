#include "app/PickList.h"

#include <QFocusEvent>

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

void PickList::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        emit gotFocus();
}

void PickList::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // Opening the list's own popup is not leaving the list.
    if (event->reason() != Qt::PopupFocusReason)
        emit lostFocus();
}
