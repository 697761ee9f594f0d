#include "app/RecordPdf.h"

#include "app/CurveWindow.h"
#include "app/Translations.h"
#include "programming/RunRecord.h"
#include "table/MeterRules.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

constexpr qreal PageMargin = 36; // points

struct Writer {
    QPainter& p;
    qreal width;
    qreal fontScale; // fonts are sized in the device's points, the page is drawn scaled to points
    qreal y = 0;

    qreal text(const QString& s, qreal size, bool bold = false, qreal x = 0, qreal w = 0)
    {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPointSizeF(size * fontScale);
        f.setBold(bold);
        p.setFont(f);
        const QRectF box(x, y, w > 0 ? w : width - x, 1000);
        const QRectF used = p.boundingRect(box, Qt::TextWordWrap, s);
        p.drawText(box, Qt::TextWordWrap, s);
        return used.height();
    }
    void line(const QString& s, qreal size, bool bold = false) { y += text(s, size, bold) + size * 0.25; }
    void rule()
    {
        p.setPen(QPen(Qt::gray, 0.5));
        p.drawLine(QPointF(0, y), QPointF(width, y));
        p.setPen(Qt::black);
        y += 6;
    }
};

QString orDash(const QString& s) { return s.isEmpty() ? QStringLiteral("–") : s; }

QString sourceText(const QJsonObject& source)
{
    const QString kind = source.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("workbook"))
        return QStringLiteral("workbook %1 (SHA-256 %2)")
            .arg(source.value(QStringLiteral("path")).toString(), source.value(QStringLiteral("sha256")).toString());
    if (kind == QLatin1String("fit")) {
        QString s = QStringLiteral("fitted to %1").arg(source.value(QStringLiteral("description")).toString());
        if (source.contains(QStringLiteral("max_error")))
            s += QStringLiteral("; largest error against the source %1 at %2 (%3 % of span)")
                     .arg(source.value(QStringLiteral("max_error")).toString(), source.value(QStringLiteral("at")).toString(),
                          source.value(QStringLiteral("percent_of_span")).toString());
        if (source.contains(QStringLiteral("lower_bound")))
            s += QStringLiteral("; no table of as many points can be closer than %1")
                     .arg(source.value(QStringLiteral("lower_bound")).toString());
        return s;
    }
    return QStringLiteral("typed in the window");
}

} // namespace

namespace RecordPdf {

QPageSize::PageSizeId pageSize()
{
    return QLocale().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
}

void paint(QPainter& painter, const QPagedPaintDevice& device, const RunRecord& r)
{
    // Lay out in points on the paintable area.
    const QSizeF page = device.pageLayout().paintRect(QPageLayout::Point).size();
    const qreal scale = device.logicalDpiX() / 72.0;
    painter.save();
    painter.scale(scale, scale);
    Writer w{painter, page.width(), 1 / scale};

    w.line(QStringLiteral("Talvo Series – Linearization Record"), 16, true);
    w.line(r.programmed() ? QStringLiteral("Programmed") : QStringLiteral("NOT PROGRAMMED"), 22, true);
    if (!r.programmed())
        w.line(QStringLiteral("Why: %1 (exit status %2)").arg(orDash(r.resultText)).arg(r.status), 10, true);
    else
        w.line(QStringLiteral("%1 (exit status %2)").arg(r.resultText).arg(r.status), 10);
    w.rule();

    const QString unit = [&] {
        const auto type = MeterRules::inputTypeNamed(r.inputType);
        return type ? QString::fromLatin1(MeterRules::inputLimits(*type).unit) : QString();
    }();
    const QStringList facts{
        QStringLiteral("Meter: address %1, %2 baud, firmware %3").arg(orDash(r.meter.address)).arg(r.meter.baud).arg(orDash(r.meter.firmware)),
        QStringLiteral("Port: %1%2").arg(orDash(r.port.device), r.port.byId.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.port.byId)),
        r.port.manufacturer.isEmpty() && r.port.product.isEmpty() && r.port.serial.isEmpty()
            ? QStringLiteral("Adapter: not known")
            : QStringLiteral("Adapter: %1 %2, serial %3").arg(orDash(r.port.manufacturer), r.port.product, orDash(r.port.serial)),
        QStringLiteral("Operator: %1    Tag: %2    Host: %3").arg(orDash(r.operatorName), orDash(r.tag), orDash(r.host)),
        QStringLiteral("Started %1, ended %2").arg(Record::isoTime(r.timeStart), Record::isoTime(r.timeEnd)),
        QStringLiteral("Input %1, decimal point %2, %3 points").arg(orDash(r.inputType), orDash(r.decimal)).arg(r.points.size()),
        QStringLiteral("Table source: %1").arg(sourceText(r.source)),
        QStringLiteral("Utility: %1 %2").arg(QLatin1String(Record::Utility), r.version),
    };
    for (const QString& f : facts)
        w.line(f, 9);
    w.rule();

    // The table on the left, its curve on the right.
    const qreal top = w.y, rowH = 10.5, colW = 118;
    const int perColumn = r.points.size() > 16 ? (int(r.points.size()) + 1) / 2 : int(r.points.size());
    for (int i = 0; i < r.points.size(); ++i) {
        const int col = i / qMax(1, perColumn);
        if (i % qMax(1, perColumn) == 0) {
            w.y = top;
            w.text(QStringLiteral("Pt   Input %1   Display").arg(unit.isEmpty() ? QString() : QStringLiteral("(%1)").arg(unit)), 7.5, true,
                   col * colW, colW);
            w.y += rowH;
        }
        w.text(QStringLiteral("%1").arg(i + 1, 2), 8, false, col * colW, 16);
        w.text(r.points[i].input, 8, false, col * colW + 16, 48);
        w.text(r.points[i].display, 8, false, col * colW + 66, 52);
        w.y += rowH;
    }
    const qreal tableBottom = top + (perColumn + 1) * rowH;
    CurveModel model;
    const Translations::EnglishScope english; // the record is English whatever the window speaks
    const auto type = MeterRules::inputTypeNamed(r.inputType);
    model.update(r.points, type, r.decimal, unit.isEmpty() ? QStringLiteral("Input") : QStringLiteral("Input (%1)").arg(unit),
                 tableCheckRule(type));
    QFont curveFont(QStringLiteral("DejaVu Sans"));
    curveFont.setPointSizeF(6.5 / scale);
    const QRect curveArea(int(2 * colW + 8), int(top), int(page.width() - 2 * colW - 8), 200);
    CurvePlot::paint(painter, curveArea, model, curveFont);
    w.y = qMax(tableBottom, top + 200.0) + 6;
    w.rule();

    // Every command and its outcome, in three columns.
    int counts[4] = {};
    for (const RecordCommand& c : r.commands)
        ++counts[c.outcome];
    w.line(QStringLiteral("Commands: %1 sent; %2 acknowledged, %3 refused, %4 timed out, %5 not sent")
               .arg(r.commands.size() - counts[RecordCommand::NotSent])
               .arg(counts[RecordCommand::Acknowledged])
               .arg(counts[RecordCommand::Refused])
               .arg(counts[RecordCommand::TimedOut])
               .arg(counts[RecordCommand::NotSent]),
           8.5, true);
    const qreal listTop = w.y, cmdH = 8.2, cmdW = page.width() / 3;
    const int perCol = qMax(1, (int(r.commands.size()) + 2) / 3);
    for (int i = 0; i < r.commands.size(); ++i) {
        const RecordCommand& c = r.commands[i];
        w.y = listTop + (i % perCol) * cmdH;
        QString s = QStringLiteral("%1 %2").arg(c.command, -8).arg(Record::outcomeName(c.outcome));
        if (c.outcome == RecordCommand::Refused)
            s += QStringLiteral(" (code %1)").arg(c.code);
        w.text(s, 6.5, c.outcome != RecordCommand::Acknowledged, (i / perCol) * cmdW, cmdW);
    }
    w.y = listTop + perCol * cmdH + 6;
    w.rule();
    w.line(QStringLiteral("Table SHA-256: %1").arg(Record::tableSha256(r.points)), 7.5);
    w.y = qMax(w.y + 24, page.height() - 40);
    w.line(QStringLiteral("Signature: ______________________________      Date: ________________"), 10);
    painter.restore();
}

bool write(const RunRecord& record, const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(pageSize()));
        pdf.setPageMargins(QMarginsF(PageMargin, PageMargin, PageMargin, PageMargin), QPageLayout::Point);
        pdf.setResolution(300);
        pdf.setTitle(QStringLiteral("Linearization record %1").arg(Record::defaultFileName(record, QString())));
        pdf.setCreator(QStringLiteral("%1 %2").arg(QLatin1String(Record::Utility), record.version));
        QPainter painter;
        if (!painter.begin(&pdf)) {
            *error = QStringLiteral("cannot draw the page");
            return false;
        }
        paint(painter, pdf, record);
        painter.end();
    }
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool save(const RunRecord& record, const QString& path, QString* error)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return write(record, path, error);
    QSaveFile file(path);
    const QByteArray json = Record::toJsonText(record);
    if (file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

bool saveStored(const QByteArray& json, const QString& path, QString* error)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return write(Record::fromJson(json), path, error);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(json) == json.size() && file.commit())
        return true;
    *error = file.errorString();
    return false;
}

} // namespace RecordPdf
