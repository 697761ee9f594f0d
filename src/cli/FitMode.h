#pragma once
// `talvo-linearizer fit`: fits a table to dense data or a shape without a window, prints it
// as "N<TAB>INPUT<TAB>DISPLAY" lines and a summary (or as one JSON object with --json), and
// optionally writes it as a workbook (.xlsx or .csv) and a settings file for `program`. The first SIGINT or SIGTERM ends a fit at once and
// nothing is written.
//   talvo-linearizer fit (--data FILE [--span X0:X1] | --shape NAME) [--input A:B] [--display C:D]
//                        --type Voltage|Current|Pulse --decimal FORMAT
//                        (--points K | --max-error E) [--on-data | --free-ends] [--json]
//                        [--out WORKBOOK] [--settings-out FILE [--settings TEMPLATE]]
#include <QString>

#include "table/MeterRules.h"

struct CommandLine;
namespace Fitting {
struct Request;
struct Result;
}

namespace FitMode {

enum Exit {
    ExitFitted = 0,
    ExitTargetNotMet = 1, // --max-error cannot be met with the most points; the best table is printed
    ExitUsage = 64,       // wrong usage, or a file that cannot be read or written
    ExitBadData = 65,     // the data breaks a rule (the message names the row) or limits the table
};

int run(const CommandLine& commandLine);

} // namespace FitMode
