#pragma once
// The point table as plain values: the selected input type, the decimal-point format and
// the rows of input and display texts, as the grid holds them.
#include <QList>
#include <QString>
#include <optional>

#include "table/MeterRules.h"

// The selected input type; none when no option is selected.
using InputKind = std::optional<InputType>;

struct PointRow {
    QString input;   // input column text
    QString display; // display column text
    bool operator==(const PointRow&) const = default;
};

struct PointTable {
    InputKind type;
    QString format;       // decimal-point format, e.g. "ddd.ddd"
    QList<PointRow> rows; // rows[i] is point i + 1
};
