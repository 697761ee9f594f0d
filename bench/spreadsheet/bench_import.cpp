// Reads a 32-row and a 65,536-row workbook of each format (.xlsx, .xls, .ods) and an .ods
// zip bomb (one 300 MB part), each in a process of its own, and prints per file: the
// time to open it and take the active sheet, the peak resident memory of that process,
// and what came of it. The workbooks are written first by python3 with xlwt (the .xls),
// openpyxl (the .xlsx) and zipfile (the .ods).
//   bench_import [folder]     (default: a new temporary folder)
//   bench_import --read FILE  (one file: prints "milliseconds peak-KiB outcome")
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

#include "spreadsheet/Workbook.h"

namespace {
const char Generator[] = R"(
import sys, zipfile, openpyxl, xlwt
folder, rows = sys.argv[1], int(sys.argv[2])
value = lambda r: (4 + r * 0.001, r * 5.3456)
wb = openpyxl.Workbook(write_only=True)
ws = wb.create_sheet()
for r in range(rows):
    ws.append(list(value(r)))
wb.save("%s/rows%d.xlsx" % (folder, rows))
wb = xlwt.Workbook()
ws = wb.add_sheet("Points")
two = xlwt.easyxf(num_format_str="0.00")
for r in range(rows):
    a, b = value(r)
    ws.write(r, 0, a)
    ws.write(r, 1, b, two)
wb.save("%s/rows%d.xls" % (folder, rows))
ns = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"')
cell = '<table:table-cell office:value-type="float" office:value="%r"><text:p>%r</text:p></table:table-cell>'
with zipfile.ZipFile("%s/rows%d.ods" % (folder, rows), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
    with z.open("content.xml", "w") as f:
        f.write(('<office:document-content %s><office:body><office:spreadsheet><table:table table:name="Points">' % ns).encode())
        for r in range(rows):
            a, b = value(r)
            f.write(("<table:table-row>" + cell % (a, a) + cell % (b, b) + "</table:table-row>").encode())
        f.write(b'<table:table-row table:number-rows-repeated="983040"><table:table-cell table:number-columns-repeated="1024"/></table:table-row>')
        f.write(b"</table:table></office:spreadsheet></office:body></office:document-content>")
if rows == 32:
    with zipfile.ZipFile(folder + "/bomb.ods", "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
        with z.open("content.xml", "w", force_zip64=True) as f:
            for _ in range(300):
                f.write(b" " * (1024 * 1024))
)";

int readOne(const QString& path)
{
    QElapsedTimer clock;
    clock.start();
    Spreadsheet::Application app;
    QString error;
    Spreadsheet::Workbook* book = app.Open(path, &error);
    const QString outcome = book ? QStringLiteral("%1 cells, B1:B32 \"%2\"")
                                       .arg(book->ActiveSheet().cells().size())
                                       .arg(book->ActiveSheet().NumberFormat(QStringLiteral("B1:B32")))
                                 : QStringLiteral("refused: ") + error;
    const qint64 ms = clock.elapsed();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%lld %ld %s\n", static_cast<long long>(ms), usage.ru_maxrss, qPrintable(outcome));
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("--read"))
        return readOne(args[1]);
    QTemporaryDir scratch;
    const QString folder = args.isEmpty() ? scratch.path() : args[0];
    for (int rows : {32, 65536}) {
        QProcess python;
        python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        python.start(QStringLiteral("/usr/bin/python3"),
                     {QStringLiteral("-c"), QString::fromUtf8(Generator), folder, QString::number(rows)});
        if (!python.waitForFinished(600000) || python.exitCode() != 0) {
            std::fprintf(stderr, "bench_import: python3 with openpyxl and xlwt could not write the workbooks\n");
            return 1;
        }
    }
    std::printf("%-14s %10s %12s  %s\n", "file", "time (ms)", "peak (MiB)", "outcome");
    for (const char* name : {"rows32.xlsx", "rows32.xls", "rows32.ods", "rows65536.xlsx", "rows65536.xls", "rows65536.ods", "bomb.ods"}) {
        QProcess one;
        one.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--read"), folder + u'/' + QLatin1String(name)});
        one.waitForFinished(120000);
        const QString line = QString::fromUtf8(one.readAllStandardOutput()).trimmed();
        const QStringList f = line.split(u' ');
        if (f.size() < 3) {
            std::printf("%-14s failed: %s\n", name, qPrintable(line));
            continue;
        }
        std::printf("%-14s %10s %12.1f  %s\n", name, qPrintable(f[0]), f[1].toDouble() / 1024, qPrintable(f.mid(2).join(u' ')));
    }
    return 0;
}
