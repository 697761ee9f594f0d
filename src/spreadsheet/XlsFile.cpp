#include "spreadsheet/XlsFile.h"

#include <QDataStream>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <freexl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

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

namespace {
// libfreexl reads outside its buffers on some damaged files, so it only ever runs in a
// child process: the parent gets the cells through a pipe, or a failure when the child
// dies, takes too long or says too much.
std::optional<Sheet> readXlsHere(const QString& path, QString* error);

constexpr int ChildSeconds = 20;
constexpr qint64 MaxReplyBytes = 64 * 1024 * 1024;

QByteArray encode(const std::optional<Sheet>& sheet, const QString& error)
{
    QByteArray out;
    QDataStream ds(&out, QIODevice::WriteOnly);
    ds << bool(sheet) << error;
    if (sheet) {
        ds << quint32(sheet->cells().size());
        for (const auto& [at, cell] : sheet->cells())
            ds << qint32(at.first) << qint32(at.second) << quint8(cell.kind) << cell.number << cell.text;
    }
    return out;
}

std::optional<Sheet> decode(const QByteArray& bytes, QString* error)
{
    QDataStream ds(bytes);
    bool ok = false;
    QString why;
    ds >> ok >> why;
    if (ds.status() != QDataStream::Ok || !ok) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("not a readable .xls workbook") : why;
        return std::nullopt;
    }
    quint32 count = 0;
    ds >> count;
    Sheet sheet;
    for (quint32 i = 0; i < count && ds.status() == QDataStream::Ok; ++i) {
        qint32 row = 0, col = 0;
        quint8 kind = 0;
        double number = 0;
        QString text;
        ds >> row >> col >> kind >> number >> text;
        if (ds.status() != QDataStream::Ok || row < 0 || col < 0)
            break;
        if (CellKind(kind) == CellKind::Number)
            sheet.setNumber(row, col, number);
        else if (CellKind(kind) == CellKind::Text)
            sheet.setText(row, col, text);
    }
    if (ds.status() != QDataStream::Ok) {
        if (error)
            *error = QStringLiteral("not a readable .xls workbook");
        return std::nullopt;
    }
    return sheet;
}
} // namespace

std::optional<Sheet> readXls(const QString& path, QString* error)
{
    auto fail = [&](const QString& why) -> std::optional<Sheet> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    int fds[2];
    if (::pipe(fds) != 0)
        return fail(QString::fromLocal8Bit(strerror(errno)));
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return fail(QString::fromLocal8Bit(strerror(errno)));
    }
    if (child == 0) {
        ::close(fds[0]);
        QString why;
        const auto sheet = readXlsHere(path, &why);
        const QByteArray out = encode(sheet, why);
        for (qsizetype done = 0; done < out.size();) {
            const ssize_t n = ::write(fds[1], out.constData() + done, size_t(out.size() - done));
            if (n <= 0)
                ::_exit(1);
            done += n;
        }
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    bool complete = false;
    while (clock.elapsed() < ChildSeconds * 1000 && reply.size() <= MaxReplyBytes) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, int(ChildSeconds * 1000 - clock.elapsed()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char buf[65536];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            complete = n == 0;
            break;
        }
        reply.append(buf, n);
    }
    ::close(fds[0]);
    if (!complete)
        ::kill(child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail(QStringLiteral("not a readable .xls workbook"));
    return decode(reply, error);
}

namespace {
std::optional<Sheet> readXlsHere(const QString& path, QString* error)
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
} // namespace

} // namespace Spreadsheet
