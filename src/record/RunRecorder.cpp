#include "record/RunRecorder.h"

#include "link/PortDetails.h"
#include "link/MeterLink.h"
#include "programming/ProgrammingRun.h"
#include "programming/RunResult.h"
#include "table/MeterRules.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QUuid>
#include <QSerialPortInfo>
#include <pwd.h>
#include <unistd.h>

RunRecorder::RunRecorder(QObject* parent) : QObject(parent) {}

QString RunRecorder::loginName()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

QJsonObject RunRecorder::workbookSource(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    return QJsonObject{{"kind", "workbook"}, {"path", absolute}, {"sha256", Record::fileSha256(absolute)}};
}

void RunRecorder::noteSource(const QJsonObject& source, const QList<PointRow>& rows)
{
    m_source = source;
    m_sourceRows = rows;
}

void RunRecorder::begin(const MeterSetup& setup, const QString& device)
{
    const QString operatorName = m_record.operatorName.isEmpty() ? loginName() : m_record.operatorName;
    const QString tag = m_record.tag;
    const RunRecord::Signing signing = m_record.signing;
    m_record = RunRecord{};
    m_record.operatorName = operatorName;
    m_record.tag = tag;
    m_record.signing = signing;
    m_ended = false;
    m_lastMessage.clear();
    m_record.recordId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_record.version = QStringLiteral(TALVO_VERSION);
    m_record.timeStart = QDateTime::currentDateTime();
    m_record.host = QSysInfo::machineHostName();

    m_record.port.device = device;
    if (!device.isEmpty()) {
        const QSerialPortInfo info(device);
        m_record.port.manufacturer = info.manufacturer().trimmed();
        m_record.port.product = info.description().trimmed();
        m_record.port.serial = info.serialNumber().trimmed();
        m_record.port.byId = PortDetails::byIdName(device);
    }
    m_record.meter.address = setup.address;
    m_record.meter.baud = setup.baud.toInt();

    const PointTable& table = setup.table;
    m_record.inputType = MeterRules::inputTypeName(table.type);
    m_record.decimal = table.format;
    m_record.points = table.rows;
    if (m_source.isEmpty())
        m_record.source = QJsonObject{{"kind", "typed"}};
    else if (m_sourceRows != table.rows)
        m_record.source = QJsonObject{{"kind", "typed"}, {"edited_from", m_source}};
    else
        m_record.source = m_source;
}

void RunRecorder::message(const QString& text) { m_lastMessage = text; }

void RunRecorder::end(const RunOutcome& outcome)
{
    for (const RunFrame& f : outcome.frames) {
        RecordCommand c;
        c.command = f.command;
        c.frame = RunResult::frameText(f.frame);
        if (!f.sent) {
            m_record.commands.append(c); // NotSent
            continue;
        }
        switch (f.outcome) {
        case ReplyOutcome::ReplyComplete:
            if (f.command != QLatin1String(MeterLink::FirmwareQuery) && MeterLink::isErrorReply(f.reply)) {
                c.outcome = RecordCommand::Refused;
                c.code = MeterLink::printable(QString(MeterLink::errorCode(f.reply)));
            } else {
                c.outcome = RecordCommand::Acknowledged;
            }
            break;
        case ReplyOutcome::ReplyTimedOut: c.outcome = RecordCommand::TimedOut; break;
        case ReplyOutcome::PortFailed: c.outcome = f.sent ? RecordCommand::Unknown : RecordCommand::NotSent; break;
        }
        m_record.commands.append(c);
    }
    m_record.meter.firmware = outcome.firmware;
    m_record.timeStart = outcome.timeStart;
    m_record.timeEnd = outcome.timeEnd;
    m_record.status = outcome.exitStatus();
    QString text = m_lastMessage.isEmpty() ? outcome.resultText() : m_lastMessage;
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\r'), QLatin1Char(' '));
    m_record.resultText = text.simplified();
    m_ended = true;
}

bool RunRecorder::sentSomething() const
{
    for (const RecordCommand& c : m_record.commands)
        if (c.outcome != RecordCommand::NotSent)
            return true;
    return false;
}
