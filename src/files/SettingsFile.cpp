#include "files/SettingsFile.h"

#include "files/PlainFile.h"

#include <QSaveFile>
#include <QStringDecoder>

#include <cerrno>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace SettingsFile {

QByteArray Compose(const SettingsValues& v)
{
    const auto truth = [](bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); };
    const QStringList lines = {
        QStringLiteral("My Settings"),
        QStringLiteral("==========="),
        QString(),
        QStringLiteral("Decimal Point"),
        v.decimal,
        QString(),
        QStringLiteral("Meter Address"),
        v.address,
        QString(),
        QStringLiteral("Comm Port"),
        v.commPort,
        QString(),
        QStringLiteral("Baud Rate"),
        v.baudRate,
        QString(),
        QStringLiteral("# of Scale Points"),
        v.setPoints,
        QString(),
        truth(v.voltage),
        truth(v.current),
        QStringLiteral("==========="),
        QString(),
    };
    QByteArray out;
    for (const QString& line : lines)
        out += line.toUtf8() + "\r\n";
    return out;
}

bool Save(const QString& path, const SettingsValues& values, QString* errorText)
{
    // A FIFO, a device or a folder is never replaced by the new file.
    if (const QString refusal = PlainFile::writeRefusal(path); !refusal.isEmpty()) {
        if (errorText)
            *errorText = refusal;
        return false;
    }
    QSaveFile file(path);
    const QByteArray bytes = Compose(values);
    QString reason;
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        reason = file.errorString();
    } else if (!file.flush()) {
        // commit() would not report a failed final write (disk full): flush first.
        reason = qt_error_string(errno);
#ifdef Q_OS_UNIX
    } else if (::fsync(file.handle()) != 0) {
        reason = qt_error_string(errno);
#endif
    } else if (!file.commit()) {
        reason = file.errorString();
    }
    if (reason.isEmpty())
        return true;
    file.cancelWriting();
    if (errorText)
        *errorText = reason;
    return false;
}

std::optional<bool> ParseTruth(const QString& text)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    // A decimal number: [sign] digits [. digits] [e [sign] digits], at least one digit.
    int i = 0;
    const int n = int(t.size());
    if (i < n && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    int digits = 0;
    bool nonZero = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = t[i];
        if (c >= u'0' && c <= u'9') {
            ++digits;
            nonZero = nonZero || c != u'0';
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < n && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        const int start = i;
        while (i < n && t[i] >= u'0' && t[i] <= u'9')
            ++i;
        if (i == start)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;
    return nonZero;
}

QStringList SplitLines(const QByteArray& bytes)
{
    // UTF-8 when the file is valid UTF-8, otherwise one character per byte.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

bool LooksBinary(const QByteArray& bytes)
{
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
            return true;
    }
    return false;
}

} // namespace SettingsFile

bool SettingsReader::open(const QString& path)
{
    *this = SettingsReader();
    // Devices, FIFOs and folders are refused before they are opened: reading one could block.
    const PlainFile::Contents contents = PlainFile::read(path, SettingsFile::MaxFileSize);
    if (contents.tooLarge) {
        stop(0, QStringLiteral("The file is larger than %1 bytes, too large for a settings file.").arg(SettingsFile::MaxFileSize));
        return false;
    }
    if (!contents.error.isEmpty()) {
        // The callers name the file: the reason alone ("It is a FIFO, not a plain file").
        QString why = contents.error;
        if (why.startsWith(path + QStringLiteral(": ")))
            why.remove(0, path.size() + 2);
        else if (why.startsWith(path + QLatin1Char(' ')))
            why.replace(0, path.size(), QStringLiteral("It"));
        stop(0, why);
        return false;
    }
    const QByteArray& bytes = contents.bytes;
    if (SettingsFile::LooksBinary(bytes)) {
        stop(0, QStringLiteral("The file holds binary data, not text."));
        return false;
    }
    m_lines = SettingsFile::SplitLines(bytes);
    m_open = true;
    return true;
}

std::optional<QString> SettingsReader::readLine(int lineNumber)
{
    if (!m_open || failed() || lineNumber < m_next)
        return std::nullopt;
    m_next = lineNumber + 1;
    if (lineNumber > m_lines.size()) {
        stop(int(m_lines.size()) + 1,
             QStringLiteral("The file ends after line %1 of %2.").arg(m_lines.size()).arg(SettingsFile::LineCount));
        return std::nullopt;
    }
    return m_lines[lineNumber - 1];
}

std::optional<bool> SettingsReader::readTruth(int lineNumber)
{
    const std::optional<QString> text = readLine(lineNumber);
    if (!text)
        return std::nullopt;
    const std::optional<bool> value = SettingsFile::ParseTruth(*text);
    if (!value)
        stop(lineNumber, QStringLiteral("Line %1 reads \"%2\", which is neither True nor False.").arg(lineNumber).arg(text->left(40)));
    return value;
}

void SettingsReader::stop(int line, const QString& why)
{
    m_stopLine = line;
    m_error = why;
}
