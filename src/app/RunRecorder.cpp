#include "app/RunRecorder.h"

#include "app/PickList.h"
#include "app/PortDetails.h"
#include "app/frmMain.h"
#include "link/MeterLink.h"
#include "programming/RunResult.h"

#include <QSysInfo>
#include <QSerialPortInfo>
#include <pwd.h>
#include <unistd.h>

RunRecorder::RunRecorder(frmMain* window) : QObject(window), m_window(window) {}

QString RunRecorder::loginName()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return qEnvironmentVariable("USER");
}

void RunRecorder::noteSource(const QJsonObject& source)
{
    m_source = source;
    m_sourceRows = m_window->pointTable().rows;
}

void RunRecorder::begin()
{
    const QString operatorName = m_record.operatorName.isEmpty() ? loginName() : m_record.operatorName;
    const QString tag = m_record.tag;
    m_record = RunRecord{};
    m_record.operatorName = operatorName;
    m_record.tag = tag;
    m_ended = false;
    m_lastMessage.clear();
    m_record.version = QStringLiteral(TALVO_VERSION);
    m_record.timeStart = QDateTime::currentDateTime();
    m_record.host = QSysInfo::machineHostName();

    const QString device = m_window->ports().device(m_window->cboCommPort->Text().toInt());
    m_record.port.device = device;
    if (!device.isEmpty()) {
        const QSerialPortInfo info(device);
        m_record.port.manufacturer = info.manufacturer().trimmed();
        m_record.port.product = info.description().trimmed();
        m_record.port.serial = info.serialNumber().trimmed();
        m_record.port.byId = PortDetails::byIdName(device);
    }
    m_record.meter.address = m_window->cboAddress->Text();
    m_record.meter.baud = m_window->cboBaudRate->Text().toInt();

    const PointTable table = m_window->pointTable();
    if (table.type)
        m_record.inputType = QLatin1String(MeterRules::inputLimits(*table.type).name);
    m_record.decimal = table.format;
    m_record.points = table.rows;
    if (m_source.isEmpty())
        m_record.source = QJsonObject{{"kind", "typed"}};
    else if (m_sourceRows != table.rows)
        m_record.source = QJsonObject{{"kind", "typed"}, {"edited_from", m_source}};
    else
        m_record.source = m_source;
}

void RunRecorder::command(const QString& command, const QByteArray& frame, ReplyOutcome outcome, const QString& reply)
{
    RecordCommand c;
    c.command = command;
    c.frame = RunResult::frameText(frame);
    switch (outcome) {
    case ReplyOutcome::ReplyComplete:
        if (command == QLatin1String(MeterLink::FirmwareQuery)) {
            m_record.meter.firmware = MeterLink::printable(MeterLink::firmwareText(reply));
            c.outcome = RecordCommand::Acknowledged;
        } else if (MeterLink::isErrorReply(reply)) {
            c.outcome = RecordCommand::Refused;
            c.code = MeterLink::printable(QString(MeterLink::errorCode(reply)));
        } else {
            c.outcome = RecordCommand::Acknowledged;
        }
        break;
    case ReplyOutcome::ReplyTimedOut: c.outcome = RecordCommand::TimedOut; break;
    case ReplyOutcome::PortFailed: c.outcome = RecordCommand::NotSent; break;
    }
    m_record.commands.append(c);
}

void RunRecorder::message(const QString& text) { m_lastMessage = text; }

void RunRecorder::end(int status, const QString& result)
{
    m_record.timeEnd = QDateTime::currentDateTime();
    m_record.status = status;
    QString text = m_lastMessage.isEmpty() ? result : m_lastMessage;
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
