#include "spreadsheet/XlsFile.h"

#include <QFile>
#include <QFileInfo>
#include <freexl.h>

namespace Spreadsheet {

namespace {
constexpr qint64 MaxXlsBytes = 64 * 1024 * 1024;
constexpr unsigned MaxXlsRows = 65536;
constexpr unsigned MaxXlsColumns = 256;

QString freexlReason(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND: return QStringLiteral("the file cannot be opened");
    case FREEXL_INSUFFICIENT_MEMORY: return QStringLiteral("not enough memory");
    default: return QStringLiteral("not a readable .xls workbook");
    }
}
} // namespace

std::optional<Sheet> readXls(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<Sheet> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    if (QFileInfo(path).size() > MaxXlsBytes)
        return fail(QStringLiteral("the file is too large"));
    const QByteArray fileName = QFile::encodeName(path);
    const void* handle = nullptr;
    const int opened = freexl_open(fileName.constData(), &handle);
    if (opened != FREEXL_OK) {
        if (handle)
            freexl_close(handle);
        return fail(freexlReason(opened));
    }
    struct Closer {
        const void* h;
        ~Closer() { freexl_close(h); }
    } closer{handle};

    unsigned int protection = 0;
    if (freexl_get_info(handle, FREEXL_BIFF_PASSWORD, &protection) == FREEXL_OK && protection == FREEXL_BIFF_OBFUSCATED)
        return fail(QStringLiteral("the workbook is encrypted"));
    if (freexl_select_active_worksheet(handle, 0) != FREEXL_OK)
        return fail(QStringLiteral("the workbook has no sheet"));
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK)
        return fail(QStringLiteral("the sheet cannot be read"));

    Sheet sheet;
    for (unsigned r = 0; r < rows && r < MaxXlsRows; ++r) {
        for (unsigned c = 0; c < columns && c < MaxXlsColumns; ++c) {
            FreeXL_CellValue v;
            if (freexl_get_cell_value(handle, r, (unsigned short)c, &v) != FREEXL_OK)
                continue;
            switch (v.type) {
            case FREEXL_CELL_INT: sheet.setNumber(int(r), int(c), v.value.int_value); break;
            case FREEXL_CELL_DOUBLE: sheet.setNumber(int(r), int(c), v.value.double_value); break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                if (v.value.text_value)
                    sheet.setText(int(r), int(c), QString::fromUtf8(v.value.text_value));
                break;
            default: break;
            }
        }
    }
    return sheet;
}

} // namespace Spreadsheet
