#pragma once
// `talvo-linearizer fit`: fits a table to dense data or a shape without a window, prints it
// as "N<TAB>INPUT<TAB>DISPLAY" lines and a summary, and optionally writes it as a workbook
// (.xlsx or .csv) and a settings file for `program`.
//   talvo-linearizer fit (--data FILE | --shape NAME) [--input A:B] [--display C:D]
//                        --type Voltage|Current|Pulse --decimal FORMAT
//                        (--points K | --max-error E) [--on-data]
//                        [--out WORKBOOK] [--settings-out FILE [--settings TEMPLATE]]
#include <QString>

#include "table/MeterRules.h"

struct CommandLine;
namespace Fitting {
struct Result;
}

namespace FitMode {

enum Exit {
    ExitFitted = 0,
    ExitTargetNotMet = 1, // --max-error cannot be met with the most points; the best table is printed
    ExitUsage = 64,       // wrong usage, or a file that cannot be read or written
    ExitBadData = 65,     // the data breaks a rule; the message names the row
};

int run(const CommandLine& commandLine);

// The summary line: "max error E (P % of span) at INPUT UNIT[; limited by RULE]".
QString summary(const Fitting::Result& result, InputType type, const QString& format);

} // namespace FitMode
