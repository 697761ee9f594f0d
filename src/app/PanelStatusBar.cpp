#include "app/PanelStatusBar.h"

#include <QLabel>

PanelStatusBar::PanelStatusBar(QWidget* parent) : QFrame(parent)
{
    // Panel 1 carries the short state texts, panel 2 "Processing..."; the progress bar
    // covers the bar's right part.
    const int widths[2] = {230, 162};
    int left = 0;
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i]->setGeometry(left, 0, widths[i], 15);
        m_panels[i]->setIndent(3);
        left += widths[i];
    }
}

QLabel* PanelStatusBar::panel(int panel) const { return (panel == 1 || panel == 2) ? m_panels[panel - 1] : nullptr; }

void PanelStatusBar::setPanelText(int panel, const QString& text)
{
    QLabel* p = this->panel(panel);
    if (!p || p->text() == text)
        return;
    p->setText(text);
    emit panelTextChanged(panel, text);
}

QString PanelStatusBar::panelText(int panel) const
{
    const QLabel* p = this->panel(panel);
    return p ? p->text() : QString();
}
