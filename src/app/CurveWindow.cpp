#include "app/CurveWindow.h"

#include "app/PickList.h"
#include "app/WindowPlacement.h"
#include "app/frmMain.h"
#include "app/FlexGrid.h"
#include "files/PlainFile.h"
#include "record/CurvePaint.h"
#include "table/ValueRules.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QPointer>
#include <QWindow>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <vector>

// ---- CurvePlot ----

CurvePlot::CurvePlot(const CurveModel* model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("curvePlot"));
    setMinimumSize(300, 220);
}

void CurvePlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    CurvePaint::paint(painter, rect(), *m_model, font(), m_source);
}

void CurvePlot::setSource(const QList<QPointF>& source)
{
    m_source = source;
    update();
}

// ---- CurveWindow ----

CurveWindow::CurveWindow(frmMain* main) : QWidget(main, Qt::Window), m_main(main)
{
    setObjectName(QStringLiteral("frmCurve"));
    setWindowTitle(tr("Linearization Curve"));
    // Opening it leaves the focus, and so the typing, in the main window.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_QuitOnClose, false);
    m_plot = new CurvePlot(&m_model, this);
    m_save = new QPushButton(tr("Save Image..."), this);
    m_save->setObjectName(QStringLiteral("cmdSaveImage"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(m_plot, 1);
    layout->addLayout(buttons);
    resize(620, 480);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(0);
    connect(&m_refresh, &QTimer::timeout, this, &CurveWindow::refresh);
    const SetupDocument* document = m_main->document();
    connect(document, &SetupDocument::rowsChanged, this, &CurveWindow::scheduleRefresh);
    connect(document, &SetupDocument::settingsChanged, this, &CurveWindow::scheduleRefresh);
    connect(document, &SetupDocument::fitSourceChanged, this, &CurveWindow::scheduleRefresh);
    connect(m_save, &QPushButton::clicked, this, &CurveWindow::saveImageClicked);
}

void CurveWindow::open()
{
    if (!m_placed) {
        m_placed = true;
        place();
        m_framedPlacePending = true;
        QTimer::singleShot(1000, this, [this] { placeAgainIfFramed(); });
    }
    show();
    raise();
}

namespace {
QMargins frameMargins(const QWidget* w)
{
    const QRect f = w->frameGeometry(), g = w->geometry();
    return {g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom()};
}
} // namespace

void CurveWindow::place()
{
    const QRect main = m_main->frameGeometry();
    const QRect available = m_main->screen() ? m_main->screen()->availableGeometry() : main.adjusted(0, 0, 640, 520);
    // Before this window is framed, its frame is taken to be the main window's.
    m_assumedFrame = isVisible() ? frameMargins(this) : frameMargins(m_main);
    const QSize extra(m_assumedFrame.left() + m_assumedFrame.right(), m_assumedFrame.top() + m_assumedFrame.bottom());
    const QSize client = QSize(620, 480).boundedTo(available.size() - extra).expandedTo(minimumSizeHint());
    const QRect table(m_main->frmInput->mapToGlobal(QPoint(0, 0)), m_main->frmInput->size());
    const QPoint at = WindowPlacement::place(main, table, client + extra, available);
    resize(client);
    // A window's position is its frame's, also before the window manager has framed it.
    if (isVisible() && windowHandle())
        windowHandle()->setFramePosition(at);
    else
        move(at);
}

void CurveWindow::placeAgainIfFramed()
{
    // Window managers frame a window after it is shown, and some move it: once its own
    // frame is known, it is placed again if that frame differs from the one assumed or the
    // window is not where it was put.
    if (!m_framedPlacePending || !isVisible())
        return;
    m_framedPlacePending = false;
    const QRect available = screen() ? screen()->availableGeometry() : frameGeometry();
    if (frameMargins(this) != m_assumedFrame || !available.contains(frameGeometry()) ||
        WindowPlacement::cover(m_main->frameGeometry(), QRect(m_main->frmInput->mapToGlobal(QPoint(0, 0)), m_main->frmInput->size()),
                               frameGeometry()) != WindowPlacement::Cover{})
        place();
}

void CurveWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (m_framedPlacePending && frameMargins(this) != QMargins())
        placeAgainIfFramed();
}

void CurveWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_framedPlacePending && frameMargins(this) != QMargins())
        placeAgainIfFramed();
}

void CurveWindow::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    frmMain::giveFocusBack(m_main, m_main->focusWidget());
}

void CurveWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    refresh();
}

void CurveWindow::scheduleRefresh()
{
    if (isVisible() && !m_refresh.isActive())
        m_refresh.start();
}

void CurveWindow::refresh()
{
    const SetupDocument* document = m_main->document();
    const PointTable table = document->table();
    const QString heading = table.type ? ValueRules::defaultsFor(*table.type).heading.trimmed() : QString();
    m_model.update(table.rows, table.type, table.format, heading, CurvePaint::tableCheckRule(table.type));
    m_plot->setSource(document->fitSource());
}

bool CurveWindow::saveImage(const QString& path, const QSize& size, QString* error) const
{
    const QRect area(QPoint(0, 0), size);
    const bool svg = QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
    QString why;
    // Whole or not at all, and never in place of a FIFO, device or folder.
    return PlainFile::writeWhole(
        path, true,
        [&](QIODevice& file, QString*) {
            if (svg) {
                QSvgGenerator generator;
                generator.setOutputDevice(&file);
                generator.setSize(size);
                generator.setViewBox(area);
                generator.setResolution(96);
                generator.setTitle(windowTitle());
                QPainter painter;
                if (!painter.begin(&generator))
                    return false;
                CurvePaint::paint(painter, area, m_model, m_plot->font(), m_plot->source());
                return painter.end();
            }
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            CurvePaint::paint(painter, area, m_model, m_plot->font(), m_plot->source());
            painter.end();
            return image.save(&file, "PNG");
        },
        error ? error : &why);
}

void CurveWindow::saveImageClicked()
{
    const QPointer<QWidget> focus = QApplication::focusWidget();
    QString path = m_main->ShowSaveDialog(tr("PNG Image (*.png)|*.png|SVG Image (*.svg)|*.svg"), tr("Save Image"));
    frmMain::giveFocusBack(this, focus);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".png");
    QString error;
    if (!saveImage(path, m_plot->size(), &error))
        m_main->MsgBox(tr("The image could not be written to %1").arg(QDir::toNativeSeparators(path)) + QStringLiteral("\r\n") + error,
                       vbExclamation);
}
