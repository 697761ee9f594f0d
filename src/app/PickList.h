#pragma once
// A pick-only list: the user chooses an entry and cannot type. Choosing an entry,
// by the user or from code through selectText(), emits picked(). The wheel changes
// the entry only while the list has the keyboard focus or its popup is open.
#include <QComboBox>

class PickList : public QComboBox {
    Q_OBJECT
public:
    explicit PickList(QWidget* parent = nullptr);

    QString Text() const { return currentIndex() < 0 ? QString() : currentText(); }
    // Selects the first entry with exactly this text and emits picked(); false when none has it.
    bool selectText(const QString& text);
    int ListCount() const { return count(); }
    QString List(int index) const { return itemText(index); }
    void AddItem(const QString& text) { addItem(text); }
    void RemoveItem(int index) { removeItem(index); }

signals:
    void picked();
    void gotFocus();
    void lostFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
};
