#include "cli/CommandOptions.h"

namespace {
QCommandLineOption flag(const char* name, const char* description)
{
    return QCommandLineOption(QLatin1String(name), QLatin1String(description));
}
QCommandLineOption valued(const char* name, const char* valueName, const char* description = "")
{
    return QCommandLineOption(QLatin1String(name), QLatin1String(description), QLatin1String(valueName));
}
QCommandLineOption historyOption(const char* what)
{
    return QCommandLineOption(QStringLiteral("history"),
                              QStringLiteral("the run history %1: a file (SQLite) or a PostgreSQL\n"
                                             "URI, postgresql://USER@HOST:PORT/DB or\n"
                                             "postgresql:///DB?host=/SOCKET/FOLDER&user=NAME (a password only\n"
                                             "from ~/.pgpass or PGPASSWORD); default: TALVO_HISTORY, else\n"
                                             "~/.local/share/talvo-linearizer/history.sqlite")
                                  .arg(QLatin1String(what)),
                              QStringLiteral("DEST"));
}
} // namespace

CommandDeclaration WindowOptions::declaration()
{
    return {"",
            "[--port N=DEVICE]... [--simulate] [--sign-key KEYFILE] [--history DEST | --no-history]",
            "Without a command the window opens.\n",
            {
                valued("port", "N=DEVICE",
                       "port number N (1 to 16) stands for DEVICE, e.g. --port 1=/dev/ttyUSB0,\n"
                       "or for a serial port on a network server: rfc2217://HOST:PORT\n"
                       "(the rate set through the server) or tcp://HOST:PORT (bytes as\n"
                       "they are, the server's rate); an IPv6 address in brackets,\n"
                       "rfc2217://[::1]:7001; when given, only the mapped numbers are offered"),
                flag("simulate", "start a simulated meter (address 001, 2400 baud) and offer it\n"
                                 "as the lowest free port number"),
                valued("sign-key", "KEYFILE",
                       "sign each JSON record File > Save Record... writes with this\n"
                       "OpenSSH key, as FILE.json.sig (see program's --sign-key)"),
                historyOption("that every run goes into"),
                flag("no-history", "keep no history of this session's runs"),
                flag("version", "print the version"),
                QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("this text")),
            },
            "\n"
            "Without --port, the machine's serial devices are numbered 1 to 16 in this order:\n"
            "ttyS*, ttyUSB*, ttyACM*, ttyAMA*, rfcomm*, then any others, by number within each kind.\n"
            "A network port's reply waits grow by the round trip measured when it is opened.\n",
            22};
}

CommandDeclaration ProgramOptions::declaration()
{
    return {"program",
            "--settings FILE (--table WORKBOOK | --job FILE [--keep-going])\n"
            "[--port DEVICE|N] [--port N=DEVICE]... [--address NNN] [--baud B]\n"
            "[--dry-run] [--log FILE]\n"
            "[--record PATH]... [--record-overwrite] [--operator NAME] [--tag TEXT]\n"
            "[--sign-key KEYFILE] [--history DEST | --no-history]",
            "program: programs one meter as Program Meter does, without a window and without a\n"
            "display (DISPLAY may be unset). Several runs may go at once, one per port.\n"
            "With --job, every meter of a job file one after another, each a run of its own.\n",
            {
                valued("settings", "FILE",
                       "a settings file saved by Save Settings: decimal-point format,\n"
                       "address, port number, baud rate, number of points, input type,\n"
                       "applied as Open Settings applies it"),
                valued("table", "WORKBOOK",
                       ".xlsx, .xls or .ods, imported as Import does (A: input values,\n"
                       "B: display values, row 1 is point 1; B's number format sets the\n"
                       "decimal-point format)"),
                valued("job", "FILE",
                       "a CSV file (\",\" or \";\", UTF-8) with a header row and a meter per\n"
                       "row: address and table (a workbook, relative to the job file's\n"
                       "folder) required; tag, baud, settings and operator optional,\n"
                       "each the row's own instead of the option's. Every row is read\n"
                       "and checked before anything is sent; the meters are programmed\n"
                       "in the file's order, each with its own log line and records\n"
                       "(--record takes folders). Prints one line per meter on standard\n"
                       "output: ADDRESS<TAB>TAG<TAB>programmed|failed|not started<TAB>EXIT"),
                flag("keep-going", "with --job: after a failed meter, go on with the next one\n"
                                   "(without it the job stops and the rest are not started)"),
                valued("port", "DEVICE|N",
                       "the device (e.g. /dev/ttyUSB0, rfc2217://HOST:PORT, tcp://HOST:PORT)\n"
                       "or port number to use instead of the settings file's port; numbers\n"
                       "follow the order above and any --port N=DEVICE maps"),
                valued("address", "NNN", "the meter address (1 to 247) instead of the settings file's"),
                valued("baud", "B",
                       "the baud rate instead of the settings file's: one settings file\n"
                       "then serves every meter of a bus (over tcp:// the server's rate)"),
                flag("dry-run", "open nothing and send nothing: check the table and print each\n"
                                "frame a run would send on standard output, one per line, as hex\n"
                                "bytes and as text"),
                valued("log", "FILE",
                       "append one CSV line per run (a header first when the file is new):\n"
                       "time,device,address,input,decimal,points,result,exit,table_sha256,record\n"
                       "every value quoted; one starting with =, +, - (not a number),\n"
                       "@, TAB or CR gets a leading ' (never a spreadsheet formula)"),
                valued("record", "PATH",
                       "write the run's record: PATH ending in .pdf a one-page PDF, .json\n"
                       "the JSON record; an existing folder gets both, each a new file\n"
                       "named talvo-YYYYMMDD-HHMMSS-mmm-ADDRESS-ID[-TAG].pdf/.json\n"
                       "(repeatable). Written whole or not at all, for every run that sent\n"
                       "something, interrupted too; checked before anything is sent: a\n"
                       "named file that exists or is a symbolic link is refused (64)"),
                flag("record-overwrite", "let --record replace a named .pdf or .json file that exists"),
                valued("operator", "NAME", "who ran it, for the record (default: the login name)"),
                valued("tag", "TEXT", "free text for the record: the meter's serial number, a tank's tag"),
                valued("sign-key", "KEYFILE",
                       "sign each JSON record with this OpenSSH key (ssh-keygen -Y sign\n"
                       "-n talvo-record; a key ssh-agent holds works too: give its .pub),\n"
                       "written beside it as FILE.json.sig; default: TALVO_SIGN_KEY.\n"
                       "The key makes a test signature before anything is sent: one\n"
                       "that cannot sign stops the run (status 64)"),
                historyOption("that the run goes into (checked before anything is\nsent)"),
                flag("no-history", "keep this run out of the history"),
            },
            "--settings, --table and --log must be plain files: a FIFO, a device or a folder is\n"
            "refused at once (status 64).\n"
            "Every message the window would show and every step of the status bar and progress\n"
            "bar is printed on standard error.\n",
            22};
}

const char* const ProgramOptions::exitStatuses = "Exit status of program:\n"
                                                 "   0  programmed, success message shown\n"
                                                 "   1  communication failure: no reply, a refusal, a failed point, the port lost\n"
                                                 "   2  missing point value           6  current below minimum span\n"
                                                 "   3  voltage out of range          7  input values not increasing\n"
                                                 "   4  current out of range          8  pulse out of range\n"
                                                 "   5  voltage below minimum span    9  pulse below minimum span\n"
                                                 "  10  the meter's firmware is refused (below 1.100)\n"
                                                 "  11  the port cannot be opened: missing, no permission, or busy\n"
                                                 "  12  the --log line, a --record or the history's entry could not be written after\n"
                                                 "      the run (the reason is printed, and a run the history missed is kept in the\n"
                                                 "      spool; a failed run keeps its own status)\n"
                                                 "  13  a display value is outside the decimal-point format's range (point named)\n"
                                                 "  14  the history cannot be reached or written; nothing was sent\n"
                                                 "  64  wrong usage, or the settings file or workbook cannot be read or holds a value\n"
                                                 "      that no meter or port list takes (the line or cell is named)\n"
                                                 "A job exits 0 when every meter was programmed; else the first failed meter's status\n"
                                                 "when it is 10, 11 or 13, else 1 (12 when every meter was programmed but a log line\n"
                                                 "or record is missing); 64 when a row is refused before anything is sent (the row\n"
                                                 "and its fault are named, as are the table check's).\n";

CommandDeclaration ScanOptions::declaration()
{
    return {"scan",
            "--port DEVICE|N [--baud B]... [--address A[-B]] [--all]",
            "scan: searches a port for meters: each address at each baud rate is sent the firmware\n"
            "query (it changes nothing in a meter), with a short wait for the reply at that rate.\n"
            "Prints one line per meter found (asked again and confirmed), ADDRESS<TAB>BAUD<TAB>FIRMWARE\n"
            "with control characters as <hh>, on standard output; progress on standard error.\n",
            {
                valued("port", "DEVICE|N", "the device, network port or port number to search (required)"),
                valued("baud", "B",
                       "a rate to try (repeatable); without it every rate: 2400, 9600,\n"
                       "19200, 4800, 1200, 600, 300; over tcp:// one, the server's (required)"),
                valued("address", "A[-B]", "the address or range to ask (default 1-247)"),
                flag("all", "go on after the first meter found"),
            },
            "Exit status of scan: 0 a meter answered, 1 none answered or the port was lost,\n"
            "11 the port cannot be opened, 64 wrong usage.\n"};
}

CommandDeclaration FitOptions::declaration()
{
    return {"fit",
            "(--data FILE [--span X0:X1] | --shape NAME) [--input A:B]\n"
            "[--display C:D] --type Voltage|Current|Pulse --decimal FORMAT\n"
            "(--points K | --max-error E) [--on-data | --free-ends] [--json]\n"
            "[--out WORKBOOK] [--settings-out FILE [--settings TEMPLATE]]",
            "fit: the best table of 2 to 32 points for a dense source, without a window. Prints\n"
            "one line per point, N<TAB>INPUT<TAB>DISPLAY, as the values will stand in the table,\n"
            "then the maximum error, where it occurs, how close it is to the best possible, the\n"
            "end mode and the meter rule that limits it, if any.\n",
            {
                valued("data", "FILE",
                       ".csv or .txt, .xlsx, .xls or .ods (columns A and B of the active\n"
                       "sheet); leading title rows are skipped. In text, with \";\" or tab\n"
                       "between the fields \",\" is the decimal point; with \",\" between\n"
                       "them \".\" is, and a row of more than two numbers is refused"),
                valued("span", "X0:X1",
                       "the values of column A that the ends of the input range stand\n"
                       "for; rows outside are left out, the ends are interpolated"),
                valued("shape", "NAME",
                       "sqrt, power:P, cylinder, capsule:R (length / diameter),\n"
                       "heads:R,A (ellipsoidal heads A diameters deep; 0.25 is 2:1),\n"
                       "sphere, cone:F, dish:F (fraction of the level in the bottom)"),
                valued("input", "A:B",
                       "the input range; for data, column A (or X0:X1 of --span) is\n"
                       "mapped onto it linearly; without it column A holds the inputs"),
                valued("display", "C:D", "a shape's display values at A and at B"),
                valued("type", "T", "Voltage, Current or Pulse"),
                valued("decimal", "FORMAT", "dddddd, ddddd.d, dddd.dd, ddd.ddd, dd.dddd or d.ddddd"),
                valued("points", "K", "K points, 2 to 32, with the least maximum error"),
                valued("max-error", "E", "the fewest points whose maximum error is at most E (display units)"),
                flag("on-data", "every point is a row of the data (or on the shape); the exact\n"
                                "optimum (long noisy or wavy data: the best found in about 0.5 s).\n"
                                "Without it display values are free: about half the error"),
                flag("free-ends", "the first and last display values may leave the source too;\n"
                                  "by default they are the source's values at the ends"),
                flag("json", "print one JSON object instead of the lines"),
                valued("out", "WORKBOOK", "write the table to an .xlsx (B formatted for FORMAT) or a .csv"),
                valued("settings-out", "FILE",
                       "write a settings file with the type, format and points; address,\n"
                       "port and baud rate from --settings TEMPLATE, else 001, 1, 2400"),
                valued("settings", "TEMPLATE"),
            },
            "Exit status of fit: 0 fitted, 1 the --max-error target needs more than 32 points (the\n"
            "best 32 are printed), 64 wrong usage or a file that cannot be read or written, 65 the\n"
            "data breaks a rule (the row is named) or has too few rows or too narrow a range for K,\n"
            "130 or 143 stopped by Ctrl+C or SIGTERM. On any failure nothing is written.\n"};
}

CommandDeclaration RecordOptions::declaration()
{
    return {"record",
            "--verify FILE.json [WORKBOOK] [--allowed-signers FILE]",
            "record: --verify FILE.json recomputes the SHA-256 of the record's table and of the whole\n"
            "record (record_sha256: any field edited, added or removed) and compares them with those\n"
            "stored; a record made before record_sha256 has its table checked alone. FILE.json.sig,\n"
            "when there is one, is checked by ssh-keygen, and the signer and key are printed. With a\n"
            "WORKBOOK, also compares the workbook's table (columns A and B, as Import reads them)\n"
            "with the record's.\n",
            {
                valued("verify", "FILE.json"),
                valued("allowed-signers", "FILE",
                       "the keys trusted to sign records, as ssh-keygen's allowed\n"
                       "signers file (default ~/.ssh/allowed_signers)"),
            },
            "Exit status: 0 intact (and the same table, and signed by an allowed key when signed),\n"
            "1 altered, a different table or a signature that does not match the record, 2 signed\n"
            "by an unknown key, 64 wrong usage or a file that cannot be read.\n",
            27};
}

CommandDeclaration HistoryOptions::declaration()
{
    return {"history",
            "[--tag TEXT] [--address N] [--status programmed|failed]\n"
            "[--since ISO-DATE] [--until ISO-DATE] [--limit N] [--json | --csv]\n"
            "[--history DEST]\n"
            "show ID [--record PATH] [--history DEST]\n"
            "flush [--history DEST]",
            "history: the runs that program and the window stored, newest first, one aligned line\n"
            "each (ID, start, status, exit status, address, tag, port, points, operator, host);\n"
            "\"history show ID\" prints run ID's JSON record as it was written, \"history flush\"\n"
            "stores the runs kept in the spool. Every history command stores the spool's runs first.\n",
            {
                historyOption("to read"),
                valued("tag", "TEXT", "runs with this tag; * stands for any text (\"TK-*\")"),
                valued("address", "N", "runs on the meter of this address (1 to 247)"),
                valued("status", "STATUS", "programmed (exit status 0) or failed"),
                valued("since", "ISO-DATE", "runs started at or after this date (2026-03-01) or time\n(2026-03-01T08:00)"),
                valued("until", "ISO-DATE", "runs started before this time, or up to the end of this date"),
                valued("limit", "N", "the newest N runs only"),
                flag("json", "one JSON array of objects: id, uuid, time_start, time_end, host,\n"
                             "operator, tag, port, address, baud, status, exit, points,\n"
                             "table_sha256"),
                flag("csv", "CSV with a header, quoted as --log quotes"),
                valued("record", "PATH", "show: write the record as --record would: .pdf, .json or a folder"),
            },
            "Exit status of history: 0 done, 1 no run ID or a spooled run that could not be stored,\n"
            "14 the history cannot be reached or read, 64 wrong usage.\n"
            "Runs that could not be stored after a run are kept under\n"
            "$XDG_STATE_HOME/talvo-linearizer/spool/ (~/.local/state/...) until they are.\n"};
}
