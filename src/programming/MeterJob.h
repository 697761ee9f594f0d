#pragma once
// A job: meters programmed one after another, each a run of its own. What the command line's
// --job and the window's job dialog share: the order, when a failure stops the rest, each
// meter's state, the summary line and the job's exit status.
#include <QList>
#include <QString>
#include <functional>

namespace MeterJob {

enum class State { NotStarted, Programmed, Failed };

struct Meter {
    QString address, tag;
    State state = State::NotStarted;
    int exitStatus = -1; // the run's; -1 before it ran
};

// Runs the meters in order: runOne(i) programs meter i and returns its exit status (0 or 12:
// programmed). A failed meter stops the rest unless keepGoing; so does stopped() (Ctrl+C, the
// window closing) after any meter.
void run(QList<Meter>& meters, bool keepGoing, const std::function<int(qsizetype)>& runOne, const std::function<bool()>& stopped);

// "programmed", "failed", "not started"
QString stateText(State state);
// ADDRESS<TAB>TAG<TAB>STATE<TAB>EXIT ("-" for a meter not started), a tab or line end in the tag
// written as a blank.
QString summaryLine(const Meter& meter);
// 0 when every meter was programmed; else the first failed meter's status when it is 10, 11 or
// 13, else 1; 12 when all were programmed but a log line or record is missing.
int exitStatus(const QList<Meter>& meters);

} // namespace MeterJob
