#pragma once
// The job file of `talvo-linearizer program --job FILE`: a CSV file ("," or ";" between the
// fields, double quotes around a field that holds them, UTF-8), a header row naming the
// columns, then a meter per row.
#include <QList>
#include <QString>
#include <optional>

struct JobRow {
    int line = 0;          // the row's line in the file; the header is line 1
    QString address;       // three digits, 001 to 247
    QString table;         // the workbook, as an absolute path or one relative to the working folder
    QString settings;      // "": the job's --settings
    QString baud;          // "": the settings file's or --baud
    QString tag, operatorName;
};

namespace JobFile {

// Columns: address and table required; tag, baud, settings and operator optional, in any order
// and any case. Paths are taken relative to the job file's folder. Nothing of a job is taken
// unless every row is: nullopt with "FILE row N: FAULT" (or the file's own fault) in error.
std::optional<QList<JobRow>> read(const QString& path, QString* error);

} // namespace JobFile
