#pragma once
// The grid's floating cell editor. Key, click and focus events are reported as signals
// (connect them directly); a keyPress receiver may replace the typed character or
// discard it (0). MaxLength limits what the user types, not what the program writes.
#include <QLineEdit>

class CellEditor : public QLineEdit {
    Q_OBJECT
public:
    explicit CellEditor(QWidget* parent = nullptr);

    int MaxLength() const { return m_maxLength; }
    void setTypedMaxLength(int length) { m_maxLength = length; } // 0: no limit
    int SelStart() const;
    int SelLength() const { return selectedText().size(); }
    void setSelStart(int start);
    void setSelLength(int length);

signals:
    void keyDown(int keyCode);
    void keyPress(int& keyAscii);
    void keyUp(int keyCode);
    void clicked();
    void lostFocus();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int m_maxLength = 0; // 0: no limit
};
