#include "app/CurveWindow.h"

#include "app/PickList.h"
#include "app/WindowPlacement.h"
#include "app/frmMain.h"
#include "table/TableCheck.h"
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

CurveModel::TableRule tableCheckRule(std::optional<InputType> type)
{
    return [type](const QList<PointRow>& rows) {
        const std::optional<TableCheck::Message> message = TableCheck::failureMessage(TableCheck::check(rows, type));
        return message ? message->text : QString();
    };
}

// ---- CurvePlot ----

namespace {
const QColor CurveBlue(0x15, 0x65, 0xC0);
const QColor BrokenRed(0xD3, 0x2F, 0x2F);
const QColor OkGreen(0x1B, 0x5E, 0x20);
const QColor GridGrey(0xE4, 0xE4, 0xE4);
const QColor FrameGrey(0x80, 0x80, 0x80);
const QColor TextDark(0x30, 0x30, 0x30);
const QColor SourceAmber(0xF5, 0xB0, 0x41, 0xB0);
} // namespace

CurvePlot::CurvePlot(const CurveModel* model, QWidget* parent) : QWidget(parent), m_model(model)
{
    setObjectName(QStringLiteral("curvePlot"));
    setMinimumSize(300, 220);
}

void CurvePlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    paint(painter, rect(), *m_model, font(), m_source);
}

void CurvePlot::setSource(const QList<QPointF>& source)
{
    m_source = source;
    update();
}

void CurvePlot::paint(QPainter& painter, const QRect& area, const CurveModel& model, const QFont& font, const QList<QPointF>& source)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(area, Qt::white);
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(font);
    const QFontMetrics fm = painter.fontMetrics();
    const int lh = fm.height();
    const CurveModel::Axis& xa = model.xAxis();
    const CurveModel::Axis& ya = model.yAxis();

    int yLabelWidth = 0;
    for (double t : ya.ticks)
        yLabelWidth = std::max(yLabelWidth, fm.horizontalAdvance(ya.label(t)));
    const int lastXLabel = xa.ticks.isEmpty() ? 0 : fm.horizontalAdvance(xa.label(xa.ticks.last()));
    const int textHeight = int(model.text().size()) * lh + 10;
    const QRect frame(QPoint(area.left() + 10 + lh + 8 + yLabelWidth + 6, area.top() + 14),
                      QPoint(area.right() - std::max(16, lastXLabel / 2 + 6), area.bottom() - textHeight - 2 * lh - 16));
    // Points and their numbers stay clear of the frame.
    const QRectF inner = QRectF(frame).adjusted(lh + 10, lh + 10, -(lh + 10), -14);
    auto span = [](const CurveModel::Axis& a) { return a.high > a.low ? a.high - a.low : 1.0; };
    auto px = [&](double v) { return inner.left() + (v - xa.low) / span(xa) * inner.width(); };
    auto py = [&](double v) { return inner.bottom() - (v - ya.low) / span(ya) * inner.height(); };

    // Grid, frame and ticks.
    painter.setPen(QPen(GridGrey, 1));
    for (double t : xa.ticks)
        painter.drawLine(QPointF(px(t), frame.top()), QPointF(px(t), frame.bottom()));
    for (double t : ya.ticks)
        painter.drawLine(QPointF(frame.left(), py(t)), QPointF(frame.right(), py(t)));
    painter.setPen(QPen(FrameGrey, 1));
    painter.drawRect(frame);
    painter.setPen(TextDark);
    for (double t : xa.ticks) {
        painter.drawLine(QPointF(px(t), frame.bottom()), QPointF(px(t), frame.bottom() + 4));
        const QString s = xa.label(t);
        painter.drawText(QRectF(px(t) - 60, frame.bottom() + 6, 120, lh), Qt::AlignHCenter | Qt::AlignTop, s);
    }
    for (double t : ya.ticks) {
        painter.drawLine(QPointF(frame.left() - 4, py(t)), QPointF(frame.left(), py(t)));
        painter.drawText(QRectF(frame.left() - 8 - yLabelWidth, py(t) - lh / 2.0, yLabelWidth, lh), Qt::AlignRight | Qt::AlignVCenter,
                         ya.label(t));
    }
    painter.setFont(bold);
    painter.drawText(QRect(frame.left(), frame.bottom() + 8 + lh, frame.width(), lh), Qt::AlignHCenter, xa.title);
    painter.save();
    painter.translate(area.left() + 10, frame.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-frame.height() / 2, 0, frame.height(), lh), Qt::AlignHCenter | Qt::AlignTop, ya.title);
    painter.restore();

    // The fit's source, wide and pale, for the table to be read against.
    if (source.size() > 1) {
        QPolygonF line;
        for (const QPointF& p : source)
            line << QPointF(px(p.x()), py(p.y()));
        painter.save();
        painter.setClipRect(frame);
        painter.setPen(QPen(SourceAmber, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(line);
        painter.restore();
    }
    // Segments; a dashed one bridges points left out.
    const QList<CurveModel::Point>& pts = model.points();
    for (int i = 1; i < pts.size(); ++i) {
        const bool gap = pts[i].number != pts[i - 1].number + 1;
        painter.setPen(QPen(CurveBlue, 2, gap ? Qt::DashLine : Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(px(pts[i - 1].input), py(pts[i - 1].display)), QPointF(px(pts[i].input), py(pts[i].display)));
    }
    // Markers, then their point numbers: every one drawn, clear of the markers and of each
    // other (the broken point's placed first).
    QList<NumberLabel> numbers;
    int brokenAt = -1;
    for (int i = 0; i < pts.size(); ++i) {
        const bool broken = pts[i].number == model.brokenPoint();
        brokenAt = broken ? i : brokenAt;
        const QPointF c(px(pts[i].input), py(pts[i].display));
        const double r = broken ? 6 : 4.5;
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(broken ? BrokenRed : CurveBlue);
        painter.drawEllipse(c, r, r);
        const auto& before = pts[std::max(i - 1, 0)];
        const auto& after = pts[std::min(i + 1, int(pts.size()) - 1)];
        QPointF along(px(after.input) - px(before.input), py(after.display) - py(before.display));
        const double length = std::hypot(along.x(), along.y());
        along = length > 0 ? along / length : QPointF(1, 0);
        const QPointF normal = along.x() >= 0 ? QPointF(along.y(), -along.x()) : QPointF(-along.y(), along.x());
        const QSizeF box(QFontMetrics(bold, painter.device()).horizontalAdvance(QString::number(pts[i].number)) + 2, lh);
        numbers.append({c, r, normal, box});
    }
    painter.setBrush(Qt::NoBrush);
    const QList<QRectF> places = placeNumbers(numbers, QRectF(frame).adjusted(1, 1, -1, -1), brokenAt);
    for (int i = 0; i < pts.size(); ++i) {
        painter.setFont(i == brokenAt ? bold : font);
        painter.setPen(i == brokenAt ? BrokenRed : CurveBlue);
        painter.drawText(places[i], Qt::AlignCenter, QString::number(pts[i].number));
    }

    // The check's verdict.
    painter.setFont(bold);
    painter.setPen(model.tableOk() ? OkGreen : BrokenRed);
    int y = area.bottom() - textHeight + 8;
    for (const QString& line : model.text()) {
        painter.drawText(QRect(area.left() + 12, y, area.width() - 24, lh), Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(line, Qt::ElideRight, area.width() - 24));
        y += lh;
    }
    painter.restore();
}

QList<QRectF> CurvePlot::placeNumbers(const QList<NumberLabel>& labels, const QRectF& area, int first)
{
    // Each number tries places around its marker, nearest first, on the side away from the
    // curve before the others; the first place clear of every marker, of the numbers
    // placed so far and of the area's edges is taken, else the one that overlaps least.
    QList<QRectF> markers;
    for (const NumberLabel& l : labels)
        markers.append(QRectF(l.marker - QPointF(l.radius + 1, l.radius + 1), QSizeF(2 * l.radius + 2, 2 * l.radius + 2)));
    QList<QRectF> placed(labels.size());
    QList<int> order;
    if (first >= 0 && first < labels.size())
        order.append(first);
    for (int i = 0; i < labels.size(); ++i)
        if (i != first)
            order.append(i);
    QList<QRectF> taken;
    auto overlap = [&](const QRectF& r) {
        double sum = 0;
        for (const QList<QRectF>* list : {&markers, &taken})
            for (const QRectF& o : *list) {
                const QRectF c = r.intersected(o);
                sum += c.isEmpty() ? 0 : c.width() * c.height();
            }
        const QRectF in = r.intersected(area);
        return sum + (r.width() * r.height() - (in.isEmpty() ? 0 : in.width() * in.height()));
    };
    for (int i : order) {
        const NumberLabel& l = labels[i];
        const QPointF n = l.normal;
        const QPointF directions[] = {n, -n, {0, -1}, {0, 1}, {1, 0}, {-1, 0}, {0.7071, -0.7071}, {-0.7071, -0.7071}, {0.7071, 0.7071},
                                      {-0.7071, 0.7071}};
        QRectF best;
        double bestOverlap = -1;
        for (int ring = 0; ring < 6 && bestOverlap != 0; ++ring) {
            for (const QPointF& d : directions) {
                // The box's centre far enough along d that the box clears the marker.
                const double reach = std::abs(d.x()) * l.size.width() / 2 + std::abs(d.y()) * l.size.height() / 2;
                const QPointF centre = l.marker + d * (l.radius + 3 + reach + ring * l.size.height() * 0.6);
                const QRectF r(centre - QPointF(l.size.width() / 2, l.size.height() / 2), l.size);
                const double o = overlap(r);
                if (bestOverlap < 0 || o < bestOverlap) {
                    best = r;
                    bestOverlap = o;
                    if (o == 0)
                        break;
                }
            }
        }
        placed[i] = best;
        taken.append(best);
    }
    return placed;
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
    m_model.update(table.rows, table.type, table.format, heading, tableCheckRule(table.type));
    m_plot->setSource(document->fitSource());
}

bool CurveWindow::saveImage(const QString& path, const QSize& size) const
{
    const QRect area(QPoint(0, 0), size);
    if (QFileInfo(path).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(size);
        svg.setViewBox(area);
        svg.setResolution(96);
        svg.setTitle(windowTitle());
        QPainter painter;
        if (!painter.begin(&svg))
            return false;
        CurvePlot::paint(painter, area, m_model, m_plot->font(), m_plot->source());
        return painter.end();
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    CurvePlot::paint(painter, area, m_model, m_plot->font(), m_plot->source());
    painter.end();
    return image.save(path, "PNG");
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
    if (!saveImage(path, m_plot->size()))
        m_main->MsgBox(tr("The image could not be written to %1").arg(QDir::toNativeSeparators(path)), vbExclamation);
}
