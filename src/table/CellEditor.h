#pragma once
// The grid's floating cell editor. Key, click and focus events go to the window's
// handlers; the key-press handler may replace the typed character or discard it (0).
// MaxLength limits what the user types, not what the program writes.
#include <QLineEdit>
#include <functional>

class CellEditor : public QLineEdit {
    Q_OBJECT
public:
    explicit CellEditor(QWidget* parent = nullptr);

    std::function<void(int keyCode)> onKeyDown;
    std::function<void(int& keyAscii)> onKeyPress;
    std::function<void(int keyCode)> onKeyUp;
    std::function<void()> onClick;
    std::function<void()> onLostFocus;

    int MaxLength() const { return m_maxLength; }
    void setMaxLength(int length) { m_maxLength = length; }
    int SelStart() const;
    int SelLength() const { return selectedText().size(); }
    void setSelStart(int start);
    void setSelLength(int length);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int m_maxLength = 0; // 0: no limit
};
