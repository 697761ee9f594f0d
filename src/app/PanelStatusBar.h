#pragma once
// The status bar: two text panels, counted from 1.
#include <QFrame>

class QLabel;

class PanelStatusBar : public QFrame {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const;
    QLabel* panel(int panel) const;

signals:
    void panelTextChanged(int panel, const QString& text);

private:
    QLabel* m_panels[2];
};
