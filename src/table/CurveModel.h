#pragma once
// The linearization curve of the point table: the points that can be drawn, the two
// axes with their ticks, the first point that breaks a table rule, and the lines of
// text that say what is wrong with the table or that it is fine.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "table/PointTable.h"
#include "table/ValueRules.h"

class CurveModel {
public:
    // The whole-table check: the message of the first rule broken by the rows, "" when
    // every rule holds.
    using TableRule = std::function<QString(const QList<PointRow>& rows)>;

    struct Point {
        int number = 0; // point number, 1..N
        double input = 0;
        double display = 0;
    };

    struct Axis {
        QString title;
        double low = 0, high = 1; // the axis runs from low to high; every point lies within
        QList<double> ticks;      // from low to high, evenly spaced
        int decimals = 0;         // of the tick labels, as the table writes the values
        QString label(double value) const;
    };

    // Rebuilds the curve from the table; rows[i] is point i + 1. The input values are read
    // in the normal form of the input type, tick labels follow its decimals and those of
    // the decimal-point format.
    void update(const QList<PointRow>& rows, std::optional<InputType> type, const QString& format, const QString& inputTitle,
                const TableRule& rule);

    // The points whose two cells both hold a number, in point order.
    const QList<Point>& points() const { return m_points; }
    const Axis& xAxis() const { return m_x; }
    const Axis& yAxis() const { return m_y; }
    // The first point that breaks the rule the check reports; 0 when none does.
    int brokenPoint() const { return m_broken; }
    // The points with an empty (or unreadable) cell, which the curve leaves out.
    const QList<int>& missingPoints() const { return m_missing; }
    // What the check says: the missing cells first, then the broken rule's message, or
    // "Table OK, N points".
    const QStringList& text() const { return m_text; }
    bool tableOk() const { return m_missing.isEmpty() && m_broken == 0; }

private:
    QList<Point> m_points;
    QList<int> m_missing;
    Axis m_x, m_y;
    int m_broken = 0;
    QStringList m_text;
};
