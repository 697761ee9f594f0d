#include "app/PanelStatusBar.h"

#include <QEvent>
#include <QLabel>

namespace {
constexpr int PanelWidths[2] = {230, 162};
constexpr int PanelHeight = 15;
} // namespace

PanelStatusBar::PanelStatusBar(QWidget* parent) : QFrame(parent)
{
    // Panel 1 carries the short state texts, panel 2 "Processing..."; the progress bar
    // covers the bar's right part.
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i]->setIndent(3);
    }
    layoutPanels();
}

QLabel* PanelStatusBar::panel(int panel) const { return (panel == 1 || panel == 2) ? m_panels[panel - 1] : nullptr; }

void PanelStatusBar::setPanelText(int panel, const QString& text)
{
    if (!this->panel(panel) || m_texts[panel - 1] == text)
        return;
    m_texts[panel - 1] = text;
    layoutPanels();
    emit panelTextChanged(panel, text);
}

QString PanelStatusBar::panelText(int panel) const { return this->panel(panel) ? m_texts[panel - 1] : QString(); }

void PanelStatusBar::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        layoutPanels();
}

void PanelStatusBar::layoutPanels()
{
    // A text longer than panel 1 takes panel 2's place while that is empty; what still does
    // not fit is elided, the whole text in the tooltip.
    QLabel* first = m_panels[0];
    const int needed = first->fontMetrics().horizontalAdvance(m_texts[0]) + 2 * first->frameWidth() + first->indent() + 4;
    const bool wide = m_texts[1].isEmpty() && needed > PanelWidths[0];
    first->setGeometry(0, 0, wide ? PanelWidths[0] + PanelWidths[1] : PanelWidths[0], PanelHeight);
    m_panels[1]->setGeometry(PanelWidths[0], 0, PanelWidths[1], PanelHeight);
    m_panels[1]->setVisible(!wide);
    for (int i = 0; i < 2; ++i) {
        QLabel* p = m_panels[i];
        const int room = p->width() - 2 * p->frameWidth() - p->indent() - 4;
        const QString shown = p->fontMetrics().elidedText(m_texts[i], Qt::ElideRight, room);
        p->setText(shown);
        p->setToolTip(shown == m_texts[i] ? QString() : m_texts[i]);
    }
}
