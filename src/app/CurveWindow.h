#pragma once
// The "Linearization Curve" window: the point table of the main window drawn as the
// curve the meter follows, redrawn whenever the table changes, with the verdict of
// the same whole-table check that Program Meter runs.
#include <QList>
#include <QPointF>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "table/CurveModel.h"

class QPainter;
class QPushButton;
class frmMain;

// The check of Program Meter as the curve's table rule, for the given input type.
CurveModel::TableRule tableCheckRule(std::optional<InputType> type);

// Paints a curve model; nothing else.
class CurvePlot : public QWidget {
    Q_OBJECT
public:
    explicit CurvePlot(const CurveModel* model, QWidget* parent = nullptr);
    // Draws the whole plot, text lines included, into `area`; a dense source the table was
    // fitted to goes behind the table's segments.
    static void paint(QPainter& painter, const QRect& area, const CurveModel& model, const QFont& font, const QList<QPointF>& source = {});
    void setSource(const QList<QPointF>& source);
    const QList<QPointF>& source() const { return m_source; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CurveModel* m_model;
    QList<QPointF> m_source;
};

class CurveWindow : public QWidget {
    Q_OBJECT
public:
    explicit CurveWindow(frmMain* main);

    // Shows the window beside the main window (first time) without taking the focus.
    void open();
    // Where a window of the wanted size goes beside main, within free: the place that covers least of main.
    static QRect placeBeside(const QRect& main, const QRect& free, const QSize& wanted);
    const CurveModel& model() const { return m_model; }
    CurvePlot* plot() const { return m_plot; }
    // Writes the plot at the given size: SVG for a ".svg" path, PNG otherwise.
    bool saveImage(const QString& path, const QSize& size) const;
    // "Save Image...": asks for a path and writes the plot at its size on screen.
    void saveImageClicked();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void scheduleRefresh();
    void refresh();

    frmMain* m_main;
    CurveModel m_model;
    CurvePlot* m_plot;
    QPushButton* m_save;
    QTimer m_refresh; // gathers the changes of one table operation into one redraw
    bool m_placed = false;
};
