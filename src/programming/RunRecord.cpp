#include "programming/RunRecord.h"

#include "files/PlainFile.h"
#include "programming/RecordSignature.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <cstdlib>

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
    case RecordCommand::Unknown: return QStringLiteral("sent, outcome unknown");
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
        {"schema_version", SchemaVersion},
        {"record_id", r.recordId},
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

namespace {

void putString(QByteArray* out, const QString& text)
{
    *out += '"';
    for (const char c : text.toUtf8()) {
        switch (c) {
        case '"': *out += "\\\""; break;
        case '\\': *out += "\\\\"; break;
        case '\b': *out += "\\b"; break;
        case '\f': *out += "\\f"; break;
        case '\n': *out += "\\n"; break;
        case '\r': *out += "\\r"; break;
        case '\t': *out += "\\t"; break;
        default:
            if (uchar(c) < 0x20)
                *out += "\\u00" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
            else
                *out += c;
        }
    }
    *out += '"';
}

// Python's repr of a float: the shortest digits that read back as the number, with an
// exponent below 1e-4 and from 1e16 on, else ".0" after a whole number.
QByteArray pythonFloat(double number)
{
    const QByteArray e = QString::number(number, 'e', QLocale::FloatingPointShortest).toLatin1(); // "-1.25e+16"
    const bool negative = e.startsWith('-');
    const qsizetype at = e.indexOf('e');
    const QByteArray digits = e.mid(negative, at - negative).replace(".", "");
    const int point = e.mid(at + 1).toInt() + 1; // digits before the point
    QByteArray out = negative ? "-" : "";
    if (point <= -4 || point > 16) {
        out += digits.left(1) + (digits.size() > 1 ? "." + digits.mid(1) : QByteArray());
        out += (point - 1 < 0 ? "e-" : "e+") + QByteArray::number(std::abs(point - 1)).rightJustified(2, '0');
    } else if (point <= 0) {
        out += "0." + QByteArray(-point, '0') + digits;
    } else if (point >= digits.size()) {
        out += digits + QByteArray(point - digits.size(), '0') + ".0";
    } else {
        out += digits.left(point) + '.' + digits.mid(point);
    }
    return out;
}

void putValue(QByteArray* out, const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Null: *out += "null"; break;
    case QJsonValue::Bool: *out += value.toBool() ? "true" : "false"; break;
    case QJsonValue::Double: {
        const QVariant number = value.toVariant(); // a whole number in the text stays one
        *out += number.typeId() == QMetaType::LongLong ? QByteArray::number(number.toLongLong()) : pythonFloat(value.toDouble());
        break;
    }
    case QJsonValue::String: putString(out, value.toString()); break;
    case QJsonValue::Array: {
        *out += '[';
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0)
                *out += ',';
            putValue(out, array[i]);
        }
        *out += ']';
        break;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        QStringList keys = object.keys();
        std::sort(keys.begin(), keys.end(), [](const QString& a, const QString& b) { return a.toUcs4() < b.toUcs4(); });
        *out += '{';
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const QString& key = keys[i];
            if (i > 0)
                *out += ',';
            putString(out, key);
            *out += ':';
            putValue(out, object.value(key));
        }
        *out += '}';
        break;
    }
    case QJsonValue::Undefined: break;
    }
}

constexpr QLatin1String RecordHashKey("record_sha256");

// Whole or not at all, under its final name only when complete (see PlainFile::writeWhole).
bool writeFile(const QString& path, const QByteArray& bytes, QString* error, bool replace = true)
{
    return PlainFile::writeWhole(
        path, replace, [&](QIODevice& file, QString*) { return file.write(bytes) == bytes.size(); }, error);
}

// A whole number written with a point or an exponent ("2400.0", "1e3"), or beyond 64 bits: Qt
// reads it as another number than Python does, so no canonical form follows both. Records
// hold plain integers only.
QByteArray reshapedNumber(const QByteArray& json)
{
    bool inString = false;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            i += c == '\\';
            inString = c != '"';
        } else if (c == '"') {
            inString = true;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            qsizetype end = i;
            while (end < json.size() && QByteArrayView("+-.eE0123456789").contains(json[end]))
                ++end;
            const QByteArray token = json.mid(i, end - i);
            bool fits = false;
            token.toLongLong(&fits);
            const double value = token.toDouble();
            const bool plain = fits && !token.contains('.') && !token.contains('e') && !token.contains('E');
            if (!plain && std::trunc(value) == value)
                return token;
            i = end - 1;
        }
    }
    return {};
}

} // namespace

QByteArray canonicalJson(const QJsonObject& record)
{
    QJsonObject rest = record;
    rest.remove(RecordHashKey);
    QByteArray out;
    putValue(&out, rest);
    return out;
}

QString recordSha256(const QJsonObject& record)
{
    return QString::fromLatin1(QCryptographicHash::hash(canonicalJson(record), QCryptographicHash::Sha256).toHex());
}

QByteArray toJsonText(const RunRecord& record)
{
    // Hashed as read back from the text, as anyone checking it reads it.
    QJsonObject json = toJson(record);
    json.insert(RecordHashKey, recordSha256(QJsonDocument::fromJson(QJsonDocument(json).toJson()).object()));
    return QJsonDocument(json).toJson(QJsonDocument::Indented);
}

QString recordSha256(const RunRecord& record)
{
    return QJsonDocument::fromJson(toJsonText(record)).object().value(RecordHashKey).toString();
}

bool saveJson(const RunRecord& record, const QString& path, QString* error, bool replace)
{
    const QByteArray json = toJsonText(record);
    RecordSignature::Signed s;
    if (!record.signing.key.isEmpty() && !(s = RecordSignature::sign(record.signing.key, json)).ok()) {
        *error = QStringLiteral("cannot sign it with the key %1: %2").arg(record.signing.key, s.error);
        return false;
    }
    return writeJson(path, json, s.signature, error, replace);
}

bool writeJson(const QString& path, const QByteArray& json, const QByteArray& signature, QString* error, bool replace)
{
    if (!writeFile(path, json, error, replace))
        return false;
    const QString sigPath = RecordSignature::signaturePath(path);
    QString why;
    if (signature.isEmpty() ? !QFileInfo::exists(sigPath) || QFile::remove(sigPath) : writeFile(sigPath, signature, &why))
        return true;
    *error = QStringLiteral("the signature %1 cannot be written%2").arg(sigPath, why.isEmpty() ? QString() : QStringLiteral(": ") + why);
    return false;
}

QString defaultFileName(const RunRecord& record, const QString& suffix)
{
    const QDateTime t = record.timeStart.isValid() ? record.timeStart : QDateTime::currentDateTime();
    QString name = QStringLiteral("talvo-%1-%2").arg(t.toString(QStringLiteral("yyyyMMdd-HHmmss-zzz")), record.meter.address);
    if (const QString id = QString(record.recordId).remove(QLatin1Char('-')).left(8); !id.isEmpty())
        name += QLatin1Char('-') + id;
    QString tag;
    for (const QChar c : record.tag.trimmed().left(40))
        tag += (c.isLetterOrNumber() && c.unicode() < 128) || QStringLiteral("._-").contains(c) ? c : QLatin1Char('_');
    if (!tag.isEmpty())
        name += QLatin1Char('-') + tag;
    return name + suffix;
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
    // A record made before record_sha256 has its table checked alone.
    const QJsonObject record = QJsonDocument::fromJson(json).object();
    v.intact = true;
    if (!record.contains(RecordHashKey))
        return v;
    const QString whole = recordSha256(record);
    if (const QByteArray number = reshapedNumber(json); !number.isEmpty()) {
        v.intact = false;
        v.reason = QStringLiteral("the number %1 is written with a point or an exponent, never so by this utility").arg(QLatin1String(number));
        return v;
    }
    if (record.value(RecordHashKey).toString() != whole) {
        v.intact = false;
        v.reason = QStringLiteral("the record's SHA-256 is %1, the record says %2: a field was edited, added or removed")
                       .arg(whole, record.value(RecordHashKey).toString());
        return v;
    }
    v.whole = true;
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
    r.recordId = o.value(QStringLiteral("record_id")).toString();
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
        for (const auto outcome : {RecordCommand::Acknowledged, RecordCommand::Refused, RecordCommand::TimedOut, RecordCommand::Unknown})
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
