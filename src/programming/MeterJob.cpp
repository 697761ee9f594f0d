#include "programming/MeterJob.h"

#include "programming/RunResult.h"

namespace MeterJob {

void run(QList<Meter>& meters, bool keepGoing, const std::function<int(qsizetype)>& runOne, const std::function<bool()>& stopped)
{
    for (qsizetype i = 0; i < meters.size(); ++i) {
        Meter& meter = meters[i];
        meter.exitStatus = runOne(i);
        const bool programmed = meter.exitStatus == RunResult::ExitProgrammed || meter.exitStatus == RunResult::ExitLogMissing;
        meter.state = programmed ? State::Programmed : State::Failed;
        // A meter programmed without its log line or record stops the job too: the rest would
        // go unrecorded as well.
        if ((meter.exitStatus != RunResult::ExitProgrammed && !keepGoing) || stopped())
            return;
    }
}

QString stateText(State state)
{
    switch (state) {
    case State::Programmed: return QStringLiteral("programmed");
    case State::Failed: return QStringLiteral("failed");
    default: return QStringLiteral("not started");
    }
}

QString summaryLine(const Meter& meter)
{
    QString tag = meter.tag;
    for (QChar& c : tag)
        if (c == u'\t' || c == u'\n' || c == u'\r')
            c = u' ';
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(meter.address, tag, stateText(meter.state), meter.state == State::NotStarted ? QStringLiteral("-") : QString::number(meter.exitStatus));
}

int exitStatus(const QList<Meter>& meters)
{
    bool recordMissing = false;
    for (const Meter& meter : meters) {
        if (meter.state == State::Programmed) {
            recordMissing = recordMissing || meter.exitStatus != RunResult::ExitProgrammed;
            continue;
        }
        if (meter.state == State::NotStarted)
            return RunResult::ExitCommunication; // only after a failure or an interruption
        const int s = meter.exitStatus;
        return s == RunResult::ExitFirmware || s == RunResult::ExitPort || s == RunResult::ExitDisplayRange ? s
                                                                                                           : int(RunResult::ExitCommunication);
    }
    return recordMissing ? int(RunResult::ExitLogMissing) : int(RunResult::ExitProgrammed);
}

} // namespace MeterJob
