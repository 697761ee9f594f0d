#pragma once
// What the workbook readers share: the reason a file cannot be read, thrown as Refused and
// handed to the caller's error text at the reader's edge; one bounded pass over an XML part.
#include "spreadsheet/Workbook.h"
#include "spreadsheet/ZipArchive.h"

#include <QBuffer>
#include <QXmlStreamReader>
#include <optional>

namespace Spreadsheet {

struct Refused {
    QString why;
};

// Runs a reader, turning a Refused into *error and no sheet.
template <typename Read> std::optional<Sheet> refusing(QString* error, Read read)
{
    try {
        return read();
    } catch (const Refused& r) {
        if (error)
            *error = r.why;
        return std::nullopt;
    }
}

// The named part of the archive; nullopt when missing, Refused when it cannot be read.
inline std::optional<QByteArray> readPart(ZipArchive& zip, const QString& name)
{
    QByteArray data;
    switch (zip.read(name, data)) {
    case ZipArchive::Result::Failed: throw Refused{zip.error};
    case ZipArchive::Result::Missing: return std::nullopt;
    case ZipArchive::Result::Read: break;
    }
    return data;
}

// One pass over an XML part, read through a QBuffer, which the XML reader decodes a chunk
// at a time instead of all at once. A DTD or malformed XML met by next() is Refused.
class XmlReader {
public:
    // How a DTD is named in the refusal: on its own, or as malformed XML.
    enum class Dtd { Named, Malformed };

    XmlReader(const QByteArray& data, const QString& name, Dtd dtd) : m_data(data), m_buffer(&m_data), m_name(name), m_dtd(dtd)
    {
        m_buffer.open(QIODevice::ReadOnly);
        x.setDevice(&m_buffer);
    }
    // false at the end of the part
    bool next()
    {
        if (x.atEnd())
            return false;
        x.readNext();
        if (x.tokenType() == QXmlStreamReader::DTD) {
            const QString why = QStringLiteral("document type declarations are not accepted");
            if (m_dtd == Dtd::Named)
                throw Refused{QStringLiteral("%1: %2").arg(m_name, why)};
            x.raiseError(why);
        }
        check();
        return true;
    }
    // Refuses the part when the reader met an error, also one raised outside next().
    void check() const
    {
        if (x.hasError())
            throw Refused{QStringLiteral("%1: malformed XML at line %2: %3").arg(m_name).arg(x.lineNumber()).arg(x.errorString())};
    }

    QXmlStreamReader x;

private:
    QByteArray m_data;
    QBuffer m_buffer;
    QString m_name;
    Dtd m_dtd;
};

} // namespace Spreadsheet
