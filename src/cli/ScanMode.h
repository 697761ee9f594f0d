#pragma once
// `talvo-linearizer scan`: Find Meter's search (MeterSearch) without a window. Each meter that
// answers is printed as "ADDRESS<TAB>BAUD<TAB>FIRMWARE" on standard output; progress and
// the port's failure go to standard error.
struct CommandLine;

namespace ScanMode {

// 0 a meter answered, 1 none did (or the port was lost), 11 the port cannot be opened.
int run(const CommandLine& commandLine);

} // namespace ScanMode
