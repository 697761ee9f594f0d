#pragma once
// The "Linearization Curve" window: the point table of the main window drawn as the
// curve the meter follows, redrawn whenever the table changes, with the verdict of
// the same whole-table check that Program Meter runs.
#include <QList>
#include <QMargins>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "table/CurveModel.h"

class QPainter;
class QPushButton;
class frmMain;

// Shows a curve model, painted by CurvePaint; nothing else.
class CurvePlot : public QWidget {
    Q_OBJECT
public:
    explicit CurvePlot(const CurveModel* model, QWidget* parent = nullptr);
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
    const CurveModel& model() const { return m_model; }
    CurvePlot* plot() const { return m_plot; }
    // Writes the plot at the given size: SVG for a ".svg" path, PNG otherwise; false with the
    // reason when it cannot.
    bool saveImage(const QString& path, const QSize& size, QString* error = nullptr) const;
    // "Save Image...": asks for a path and writes the plot at its size on screen.
    void saveImageClicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Puts the frame beside the main window (WindowPlacement), measured with the frame a
    // window manager adds: the main window's until this one has its own.
    void place();
    void placeAgainIfFramed();
    void scheduleRefresh();
    void refresh();

    frmMain* m_main;
    CurveModel m_model;
    CurvePlot* m_plot;
    QPushButton* m_save;
    QTimer m_refresh; // gathers the changes of one table operation into one redraw
    bool m_placed = false;
    bool m_framedPlacePending = false; // placed before the window manager framed it
    QMargins m_assumedFrame;
};
