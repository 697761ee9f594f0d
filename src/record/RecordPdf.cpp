#include "record/RecordPdf.h"

#include "record/CurvePaint.h"
#include "record/EnglishText.h"
#include "files/PlainFile.h"
#include "programming/RunRecord.h"
#include "table/MeterRules.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QJsonObject>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QTextOption>

namespace {

constexpr qreal PageMargin = 36; // points
constexpr qsizetype NameChars = 80; // of an operator, tag or host on the page

// Control, format (bidi overrides, isolates, zero-width) and separator characters as <hh> or
// <U+hhhh>: a name or tag is shown as text and never lays out the page.
QString shown(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph)
            out += c.unicode() < 0x100 ? QStringLiteral("<%1>").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                       : QStringLiteral("<U+%1>").arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, QLatin1Char('0')));
        else
            out += c;
    }
    return out;
}

// At most max characters, the last of a longer text an ellipsis.
QString clipped(const QString& text, qsizetype max)
{
    if (text.size() <= max)
        return text;
    qsizetype keep = max - 1;
    if (keep > 0 && text[keep - 1].isHighSurrogate())
        --keep;
    return text.left(keep) + QStringLiteral("…");
}

struct Writer {
    QPainter& p;
    qreal width;
    qreal fontScale; // fonts are sized in the device's points, the page is drawn scaled to points
    qreal y = 0;
    QString family = QStringLiteral("DejaVu Sans");

    // Draws s wrapped in its box, at most maxLines lines (a longer text ends in an ellipsis);
    // gives the height used.
    qreal text(const QString& s, qreal size, bool bold = false, qreal x = 0, qreal w = 0, int maxLines = 1)
    {
        QFont f(family);
        f.setPointSizeF(size * fontScale);
        f.setBold(bold);
        p.setFont(f);
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        const QRectF box(x, y, w > 0 ? w : width - x, 1000);
        const QString fitted = fit(shown(s), box, wrap, maxLines);
        const QRectF used = p.boundingRect(box, fitted, wrap);
        p.drawText(box, fitted, wrap);
        return used.height();
    }
    QString fit(const QString& s, const QRectF& box, const QTextOption& wrap, int maxLines)
    {
        const qreal most = (maxLines + 0.5) * QFontMetricsF(p.font(), p.device()).lineSpacing();
        auto fits = [&](const QString& t) { return p.boundingRect(box, t, wrap).height() <= most; };
        if (fits(s))
            return s;
        qsizetype low = 0, high = s.size();
        while (low < high) {
            const qsizetype mid = (low + high + 1) / 2;
            if (fits(clipped(s, mid)))
                low = mid;
            else
                high = mid - 1;
        }
        return clipped(s, low);
    }
    void line(const QString& s, qreal size, bool bold = false, int maxLines = 2) { y += text(s, size, bold, 0, 0, maxLines) + size * 0.25; }
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

QPageLayout pageLayout()
{
    return QPageLayout(QPageSize(pageSize()), QPageLayout::Portrait, QMarginsF(PageMargin, PageMargin, PageMargin, PageMargin),
                       QPageLayout::Point);
}

void usePageLayout(QPagedPaintDevice& device)
{
    QPageLayout layout = device.pageLayout();
    layout.setPageSize(QPageSize(pageSize()));
    layout.setUnits(QPageLayout::Point);
    const QMarginsF least = layout.minimumMargins();
    layout.setMargins(QMarginsF(qMax(PageMargin, least.left()), qMax(PageMargin, least.top()), qMax(PageMargin, least.right()),
                                qMax(PageMargin, least.bottom())));
    device.setPageLayout(layout);
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
        w.line(QStringLiteral("Why: %1 (exit status %2)").arg(orDash(r.resultText), QString::number(r.status)), 10, true, 4);
    else
        w.line(QStringLiteral("%1 (exit status %2)").arg(r.resultText, QString::number(r.status)), 10, false, 4);
    w.rule();

    const QString unit = [&] {
        const auto type = MeterRules::inputTypeNamed(r.inputType);
        return type ? QString::fromLatin1(MeterRules::inputLimits(*type).unit) : QString();
    }();
    const QStringList facts{
        QStringLiteral("Meter: address %1, %2 baud, firmware %3").arg(orDash(r.meter.address), QString::number(r.meter.baud), orDash(r.meter.firmware)),
        QStringLiteral("Port: %1%2").arg(orDash(r.port.device), r.port.byId.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(r.port.byId)),
        r.port.manufacturer.isEmpty() && r.port.product.isEmpty() && r.port.serial.isEmpty()
            ? QStringLiteral("Adapter: not known")
            : QStringLiteral("Adapter: %1 %2, serial %3").arg(orDash(r.port.manufacturer), r.port.product, orDash(r.port.serial)),
        QStringLiteral("Operator: %1    Tag: %2    Host: %3")
            .arg(clipped(orDash(r.operatorName), NameChars), clipped(orDash(r.tag), NameChars), clipped(orDash(r.host), NameChars)),
        QStringLiteral("Started %1, ended %2").arg(Record::isoTime(r.timeStart), Record::isoTime(r.timeEnd)),
        QStringLiteral("Input %1, decimal point %2, %3 points").arg(orDash(r.inputType), orDash(r.decimal), QString::number(r.points.size())),
        QStringLiteral("Table source: %1").arg(sourceText(r.source)),
        QStringLiteral("Utility: %1 %2").arg(QLatin1String(Record::Utility), r.version),
    };
    for (const QString& f : facts)
        w.line(f, 9, false, 3);
    w.family = QStringLiteral("DejaVu Sans Mono");
    w.line(QStringLiteral("Record ID: %1").arg(orDash(r.recordId)), 9);
    w.family = QStringLiteral("DejaVu Sans");
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
    const EnglishText::Scope english; // the record is English whatever the window speaks
    const auto type = MeterRules::inputTypeNamed(r.inputType);
    model.update(r.points, type, r.decimal, unit.isEmpty() ? QStringLiteral("Input") : QStringLiteral("Input (%1)").arg(unit),
                 CurvePaint::tableCheckRule(type));
    QFont curveFont(QStringLiteral("DejaVu Sans"));
    curveFont.setPointSizeF(6.5 / scale);
    const QRect curveArea(int(2 * colW + 8), int(top), int(page.width() - 2 * colW - 8), 200);
    CurvePaint::paint(painter, curveArea, model, curveFont);
    w.y = qMax(tableBottom, top + 200.0) + 6;
    w.rule();

    // Every command and its outcome, in three columns.
    int counts[5] = {};
    for (const RecordCommand& c : r.commands)
        ++counts[c.outcome];
    w.line(
        QStringLiteral("Commands: %1 sent; %2 acknowledged, %3 refused, %4 timed out, %5 not sent%6")
            .arg(r.commands.size() - counts[RecordCommand::NotSent])
            .arg(counts[RecordCommand::Acknowledged])
            .arg(counts[RecordCommand::Refused])
            .arg(counts[RecordCommand::TimedOut])
            .arg(counts[RecordCommand::NotSent])
            .arg(counts[RecordCommand::Unknown] ? QStringLiteral(", %1 outcome unknown").arg(counts[RecordCommand::Unknown]) : QString()),
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
    // Hashes and the key in a fixed font: no ligature ("fl") changes a character, and the line is
    // short enough never to wrap.
    w.family = QStringLiteral("DejaVu Sans Mono");
    w.line(QStringLiteral("Table SHA-256: %1").arg(Record::tableSha256(r.points)), 7.5);
    w.line(QStringLiteral("Record SHA-256 (record_sha256): %1").arg(Record::recordSha256(r)), 7.5);
    if (!r.signing.fingerprint.isEmpty())
        w.line(QStringLiteral("JSON record signed by the key %1").arg(r.signing.fingerprint), 7.5);
    w.family = QStringLiteral("DejaVu Sans");
    w.y = qMax(w.y + 24, page.height() - 40);
    w.line(QStringLiteral("Signature: ______________________________      Date: ________________"), 10);
    painter.restore();
}

bool write(const RunRecord& record, QIODevice& file, QString* error)
{
    QPdfWriter pdf(&file);
    pdf.setPageLayout(pageLayout());
    pdf.setResolution(300);
    pdf.setTitle(QStringLiteral("Linearization record %1").arg(Record::defaultFileName(record, QString())));
    pdf.setCreator(QStringLiteral("%1 %2").arg(QLatin1String(Record::Utility), record.version));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        *error = QStringLiteral("cannot draw the page");
        return false;
    }
    paint(painter, pdf, record);
    return painter.end();
}

bool save(const RunRecord& record, const QString& path, QString* error, bool replace)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
        return Record::saveJson(record, path, error, replace);
    return PlainFile::writeWhole(
        path, replace, [&](QIODevice& file, QString* why) { return write(record, file, why); }, error);
}

bool saveStored(const QByteArray& json, const QString& path, QString* error, const QByteArray& signature, bool replace)
{
    if (QFileInfo(path).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0)
        return PlainFile::writeWhole(
            path, replace, [&](QIODevice& file, QString* why) { return write(Record::fromJson(json), file, why); }, error);
    return Record::writeJson(path, json, signature, error, replace);
}

} // namespace RecordPdf
