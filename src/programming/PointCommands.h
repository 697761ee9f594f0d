#pragma once
// Commands of a programming run: the configuration and final commands of each input
// type, and the point commands of the download with their groups.
#include <QList>
#include <QString>

#include "table/TableCheck.h"

namespace PointCommands {

// One point command: point number 1..32, input or display value.
struct Ref {
    int point = 0;
    bool display = false;
};

// Prefixes of a command set: "2A2"/"2A0" for Voltage and Pulse, "2A3"/"2A1" for Current.
struct Prefixes {
    QString input;
    QString display;
};
Prefixes setV();
Prefixes setI();

// The number of points named by the point-count text "2".."32"; 0 for any other text.
int pointCount(const QString& text);

// The download's groups in wire order: group 1 is input 1, input 2, display 1, display 2;
// every later group is input k, display k. Empty for a count outside 2..32.
QList<QList<Ref>> groups(int points);

// The value digits of a cell: its normal form (decimals < 0: the text as it stands)
// with every "." removed. Negative values of the five-decimal format drop the integer 0.
QString valueDigits(const QString& text, int decimals);

// prefix + two-digit point number + value digits.
QString command(const Prefixes& set, const Ref& ref, const QString& digits);

// "200030", "201130", "208010"; empty for no input type.
QString configurationCommand(InputKind kind);
// "33V" for Voltage and Pulse, "33I" for Current; empty for no input type.
QString finalCommand(InputKind kind);

} // namespace PointCommands
