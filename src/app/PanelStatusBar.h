#pragma once
// The status bar: two text panels, counted from 1. A text too long for its panel is
// shown elided, the whole text in the panel's tooltip.
#include <QFrame>

class QLabel;

class PanelStatusBar : public QFrame {
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget* parent = nullptr);
    void setPanelText(int panel, const QString& text);
    QString panelText(int panel) const; // the whole text
    QLabel* panel(int panel) const;

signals:
    void panelTextChanged(int panel, const QString& text);

protected:
    void changeEvent(QEvent* event) override;

private:
    void layoutPanels();
    QLabel* m_panels[2];
    QString m_texts[2];
};
