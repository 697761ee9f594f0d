#pragma once
// The production log of `talvo-linearizer program`: one CSV line per run.
#include <QDateTime>
#include <QFile>
#include <QString>
#include <memory>

struct ProgramLogRecord {
    QDateTime time;
    QString device;
    QString address;
    QString inputType;
    QString decimal;
    QString points;
    QString result;
    int exitStatus = 0;
    QString tableSha256; // of the table's canonical text, as in the run's record
    QString recordPath;  // the records written for the run, separated by blanks
};

namespace ProgramLog {

// A CSV field, quoted; one that starts with =, +, - (not a number), @, TAB or CR gets a leading "'".
QString csvField(const QString& text);
QString header(); // "time,device,address,input,decimal,points,result,exit,table_sha256,record"
// The record as one CSV line (no line end), every field quoted; the time in ISO 8601 with its
// UTC offset. A field that starts with =, +, - (not a number), @, TAB or CR gets a leading "'".
QString line(const ProgramLogRecord& record);

// A log opened before a run sends anything, so that a log that cannot be written stops the
// run before the meter is touched; the line is appended when the run ends.
class File {
public:
    // Opens (creates) the file for appending. False with the reason when it cannot, or when
    // the path is a FIFO, a device or a folder.
    bool open(const QString& path, QString* error);
    // Appends the line, with the header first when the file is empty. Runs that log to the
    // same file at the same time take turns. False with the reason when it cannot write.
    bool append(const ProgramLogRecord& record, QString* error);

private:
    QString m_path;
    std::unique_ptr<QFile> m_file;
};

} // namespace ProgramLog
