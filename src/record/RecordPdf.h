#pragma once
// The record of a run on one page (A4, or Letter where the locale measures in inches):
// the result in large type, meter, port, operator and time, the table and its curve,
// every command's outcome, the table's and the record's SHA-256, the key that signs the JSON
// record, and a line for a signature.
#include <QPageLayout>
#include <QPageSize>
#include <QString>

class QIODevice;
class QPainter;
class QPagedPaintDevice;
struct RunRecord;

namespace RecordPdf {

QPageSize::PageSizeId pageSize(); // the locale's paper
// The saved PDF's page: the locale's paper, 36 pt margins all round.
QPageLayout pageLayout();
// The saved PDF's page on a printer: its paper and margins, each margin at least the printer's least.
// Painting starts at the top left of the paintable area (the device's origin unless it paints the
// full page).
void usePageLayout(QPagedPaintDevice& device);
// Paints the record onto the device's current page, within its paintable area (the page less its
// margins), in points scaled to the device's resolution.
void paint(QPainter& painter, const QPagedPaintDevice& device, const RunRecord& record);
// Writes the PDF into file; false with the reason when it cannot.
bool write(const RunRecord& record, QIODevice& file, QString* error);
// Writes the record to one file, whole or not at all: the PDF for a ".pdf" path, its JSON
// otherwise. Without replace an existing file is refused, never overwritten.
bool save(const RunRecord& record, const QString& path, QString* error, bool replace = true);
// Writes a stored JSON record to one file, whole or not at all: the PDF made from it for a
// ".pdf" path, else the JSON exactly as stored, and its signature beside it as FILE.json.sig.
bool saveStored(const QByteArray& json, const QString& path, QString* error, const QByteArray& signature = {}, bool replace = true);

} // namespace RecordPdf
