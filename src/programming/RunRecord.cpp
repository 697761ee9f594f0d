#include "programming/RunRecord.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

namespace Record {

QByteArray canonicalTable(const QList<PointRow>& points)
{
    QByteArray text;
    for (const PointRow& p : points)
        text += p.input.toUtf8() + '\t' + p.display.toUtf8() + '\n';
    return text;
}

QString tableSha256(const QList<PointRow>& points)
{
    return QString::fromLatin1(QCryptographicHash::hash(canonicalTable(points), QCryptographicHash::Sha256).toHex());
}

QString fileSha256(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}

QString outcomeName(RecordCommand::Outcome outcome)
{
    switch (outcome) {
    case RecordCommand::Acknowledged: return QStringLiteral("acknowledged");
    case RecordCommand::Refused: return QStringLiteral("refused");
    case RecordCommand::TimedOut: return QStringLiteral("timed out");
    case RecordCommand::NotSent: break;
    }
    return QStringLiteral("not sent");
}

QString isoTime(const QDateTime& t) { return t.isValid() ? t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate) : QString(); }

namespace {

void putIf(QJsonObject& o, const char* key, const QString& value)
{
    if (!value.isEmpty())
        o.insert(QLatin1String(key), value);
}
} // namespace

QJsonObject toJson(const RunRecord& r)
{
    QJsonObject port{{"device", r.port.device}};
    putIf(port, "by_id", r.port.byId);
    putIf(port, "manufacturer", r.port.manufacturer);
    putIf(port, "product", r.port.product);
    putIf(port, "serial", r.port.serial);

    QJsonArray points;
    for (const PointRow& p : r.points)
        points.append(QJsonObject{{"input", p.input}, {"display", p.display}});
    QJsonObject source = r.source.isEmpty() ? QJsonObject{{"kind", "typed"}} : r.source;

    QJsonArray commands;
    for (const RecordCommand& c : r.commands) {
        QJsonObject o{{"command", c.command}, {"frame", c.frame}, {"outcome", outcomeName(c.outcome)}};
        if (c.outcome == RecordCommand::Refused)
            o.insert(QStringLiteral("code"), c.code);
        commands.append(o);
    }
    return QJsonObject{
        {"utility", QJsonObject{{"name", Utility}, {"version", r.version}}},
        {"time_start", isoTime(r.timeStart)},
        {"time_end", isoTime(r.timeEnd)},
        {"host", r.host},
        {"operator", r.operatorName},
        {"tag", r.tag},
        {"port", port},
        {"meter", QJsonObject{{"address", r.meter.address}, {"baud", r.meter.baud}, {"firmware", r.meter.firmware}}},
        {"table", QJsonObject{{"input_type", r.inputType},
                              {"decimal", r.decimal},
                              {"points", points},
                              {"sha256", tableSha256(r.points)},
                              {"source", source}}},
        {"commands", commands},
        {"result", QJsonObject{{"status", r.status}, {"text", r.resultText}}},
    };
}

QByteArray toJsonText(const RunRecord& record) { return QJsonDocument(toJson(record)).toJson(QJsonDocument::Indented); }

QString defaultFileName(const RunRecord& record, const QString& suffix)
{
    const QDateTime t = record.timeStart.isValid() ? record.timeStart : QDateTime::currentDateTime();
    return QStringLiteral("talvo-%1-%2%3").arg(t.toString(QStringLiteral("yyyyMMdd-HHmmss")), record.meter.address, suffix);
}

namespace {
std::optional<QJsonObject> tableObject(const QByteArray& json, QString* why)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *why = QStringLiteral("not a record: %1").arg(error.errorString());
        return std::nullopt;
    }
    const QJsonValue table = doc.object().value(QStringLiteral("table"));
    if (!table.isObject() || !table[QStringLiteral("points")].isArray() || !table[QStringLiteral("sha256")].isString()) {
        *why = QStringLiteral("not a record: no table with points and sha256");
        return std::nullopt;
    }
    return table.toObject();
}

QList<PointRow> pointsOf(const QJsonObject& table, bool* wellFormed)
{
    QList<PointRow> rows;
    *wellFormed = true;
    for (const QJsonValue& v : table.value(QStringLiteral("points")).toArray()) {
        if (!v[QStringLiteral("input")].isString() || !v[QStringLiteral("display")].isString())
            *wellFormed = false;
        rows.append({v[QStringLiteral("input")].toString(), v[QStringLiteral("display")].toString()});
    }
    return rows;
}
} // namespace

Verification verify(const QByteArray& json)
{
    Verification v;
    const auto table = tableObject(json, &v.reason);
    if (!table)
        return v;
    bool wellFormed = false;
    const QList<PointRow> rows = pointsOf(*table, &wellFormed);
    if (!wellFormed) {
        v.reason = QStringLiteral("a point is not a pair of texts");
        return v;
    }
    const QString stored = table->value(QStringLiteral("sha256")).toString();
    const QString computed = tableSha256(rows);
    if (stored != computed) {
        v.reason = QStringLiteral("the table's SHA-256 is %1, the record says %2").arg(computed, stored);
        return v;
    }
    v.intact = true;
    return v;
}

QList<PointRow> tableOf(const QByteArray& json)
{
    QString why;
    const auto table = tableObject(json, &why);
    bool wellFormed = false;
    return table ? pointsOf(*table, &wellFormed) : QList<PointRow>();
}

RunRecord fromJson(const QByteArray& json)
{
    const QJsonObject o = QJsonDocument::fromJson(json).object();
    auto text = [](const QJsonValue& v, const char* key) { return v[QLatin1String(key)].toString(); };
    RunRecord r;
    r.version = text(o.value(QStringLiteral("utility")), "version");
    r.timeStart = QDateTime::fromString(o.value(QStringLiteral("time_start")).toString(), Qt::ISODate);
    r.timeEnd = QDateTime::fromString(o.value(QStringLiteral("time_end")).toString(), Qt::ISODate);
    r.host = o.value(QStringLiteral("host")).toString();
    r.operatorName = o.value(QStringLiteral("operator")).toString();
    r.tag = o.value(QStringLiteral("tag")).toString();
    const QJsonValue port = o.value(QStringLiteral("port"));
    r.port = {text(port, "device"), text(port, "by_id"), text(port, "manufacturer"), text(port, "product"), text(port, "serial")};
    const QJsonValue meter = o.value(QStringLiteral("meter"));
    r.meter = {text(meter, "address"), meter[QStringLiteral("baud")].toInt(), text(meter, "firmware")};
    const QJsonValue table = o.value(QStringLiteral("table"));
    r.inputType = text(table, "input_type");
    r.decimal = text(table, "decimal");
    r.points = tableOf(json);
    r.source = table[QStringLiteral("source")].toObject();
    for (const QJsonValue& c : o.value(QStringLiteral("commands")).toArray()) {
        RecordCommand command{text(c, "command"), text(c, "frame"), RecordCommand::NotSent, text(c, "code")};
        for (const auto outcome : {RecordCommand::Acknowledged, RecordCommand::Refused, RecordCommand::TimedOut})
            if (text(c, "outcome") == outcomeName(outcome))
                command.outcome = outcome;
        r.commands << command;
    }
    const QJsonValue result = o.value(QStringLiteral("result"));
    r.status = result[QStringLiteral("status")].toInt(-1);
    r.resultText = text(result, "text");
    return r;
}

} // namespace Record
