#pragma once
// The production log of `talvo-linearizer program`: one CSV line per run.
#include <QDateTime>
#include <QString>

struct ProgramLogRecord {
    QDateTime time;
    QString device;
    QString address;
    QString inputType;
    QString decimal;
    QString points;
    QString result;
    int exitStatus = 0;
};

namespace ProgramLog {

QString header(); // "time,device,address,input,decimal,points,result,exit"
// The record as one CSV line (no line end); the time in ISO 8601 with its UTC offset.
QString line(const ProgramLogRecord& record);
// Appends the line, with the header first when the file is new or empty. Runs that log
// to the same file at the same time take turns. False with a reason when it cannot write.
bool append(const QString& path, const ProgramLogRecord& record, QString* error = nullptr);

} // namespace ProgramLog
