#pragma once
// Fitting a linearization table to a dense source: the table of at most MaxPoints points
// whose straight segments follow a data table (a strapping chart, a calibration sheet) or
// a built-in shape (square root, power law, vessel shapes) with the least maximum error,
// or with the fewest points that reach a given error. Every table produced passes the
// table check and holds its values in their normal forms.
//
// Plain and reentrant: fit() keeps no state and may run on a worker thread; a caller that
// needs a live preview runs it there and sets Request::cancel to drop a stale run.
#include <QList>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <vector>

#include "table/MeterRules.h"

namespace Fitting {

// One row of a data source as read: its two columns and its row number in the file
// (1-based; 0 when it did not come from a file), which messages name ("row 4: ...").
struct DataRow {
    double a = 0; // column A: the input value, or the quantity that --input maps onto it
    double b = 0; // column B: the display value
    int line = 0;
};

// Shapes, with u the fraction of the input range and display = C + (D - C) * f(u).
enum class ShapeKind {
    Sqrt,     // f = sqrt(u)
    Power,    // f = u^P                      (parameter P > 0)
    Cylinder, // horizontal cylinder: theta = 2 acos(1 - 2u), f = (theta - sin theta) / (2 pi)
    Capsule,  // horizontal cylinder with hemispherical heads (parameter R = length / diameter >= 0)
    Sphere,   // f = u^2 (3 - 2u)
    Cone,     // vertical tank whose conical bottom takes the fraction F of the level (0 < F <= 1)
    Heads,    // horizontal cylinder R diameters long with ellipsoidal heads A diameters deep (R, A >= 0):
              // f = (3R cyl(u) + 4A sphere(u)) / (3R + 4A); A = 0.5 is capsule:R
    Dish,     // vertical cylinder whose ellipsoidal bottom takes the fraction F of the level (0 < F <= 1):
              // f = (u^2 / F - u^3 / (3F^2)) / (1 - F/3) for u <= F, (u - F/3) / (1 - F/3) above
};
struct Shape {
    ShapeKind kind = ShapeKind::Sqrt;
    double parameter = 0;
    double second = 0; // heads: A
};

// "sqrt", "power:P", "cylinder", "capsule:R", "sphere", "cone:F", "heads:R,A", "dish:F";
// nullopt with *error set otherwise.
std::optional<Shape> parseShape(const QString& text, QString* error = nullptr);
QString shapeName(const Shape& shape); // the text parseShape reads back
// f(u) for u in [0, 1]: 0 at 0, 1 at 1, rising.
double shapeFraction(const Shape& shape, double u);

struct Range {
    double low = 0;  // at the source's first row / u = 0
    double high = 0; // at the source's last row / u = 1
};
// "A:B", two numbers; nullopt otherwise.
std::optional<Range> parseRange(const QString& text);

enum class Placement {
    LeastError, // inputs anywhere on the meter's resolution, display values free
    OnData,     // every point is a data row (or lies on the shape's curve), rounded to its normal form
};

struct Request {
    // The source: the data rows, or the shape when one is given.
    std::vector<DataRow> rows;
    std::optional<Shape> shape;
    // Data: maps column A linearly onto input values, first row -> low and last row -> high;
    // without it column A holds the input values. Shape: the input range, required.
    std::optional<Range> input;
    // Shape: the display values at the two ends of the input range, required. Data: unused.
    std::optional<Range> display;

    InputType type = InputType::Current;
    QString format = QStringLiteral("ddd.ddd"); // one of the six decimal-point formats

    // Either a number of points (MinPoints..MaxPoints) or, when maxError is set, the fewest
    // points whose table reaches it (display units).
    int points = 0;
    std::optional<double> maxError;
    Placement placement = Placement::LeastError;
    // LeastError: false keeps the first and last points on the source (its values at the ends
    // of the input range: an empty tank reads 0); true lets their display values move too.
    bool freeEnds = false;
    // Data: the values of column A that the ends of the input range stand for; rows outside
    // are left out and the ends are the source interpolated at low and high.
    std::optional<Range> span;

    // Polled while fitting; when it reads true, fit() returns Status::Cancelled at once.
    const std::atomic_bool* cancel = nullptr;
    // Called from the fitting thread once a fit has run for two seconds, now and then, with the
    // share of it done (0 to 99), and with 100 at the end of such a fit.
    std::function<void(int percent)> progress;
    // Number of samples of Result::source and Result::error along the input range.
    int previewSamples = 512;
};

enum class Status {
    Fitted,       // the table is the result asked for
    TargetNotMet, // maxError: even MaxPoints points cannot reach it; the table is the best of MaxPoints
    BadRequest,   // the request itself is wrong (points, ranges, format, shape); message says what
    BadData,      // the data breaks a rule; message names the row ("row 4: ...")
    Cancelled,
};

// One point of the fitted table: the texts exactly as they stand in the table (normal
// forms) and their values.
struct Point {
    QString input;
    QString display;
    double inputValue = 0;
    double displayValue = 0;
};

// A sample along the input range, for drawing.
struct Sample {
    double input = 0;
    double value = 0;
};

// The meter rule that limits the result, when one does.
enum class LimitingRule {
    None,
    MinimumStep,  // the smallest rise between neighbouring points (0.10 V, 0.15 mA, 10 Hz)
    DisplayRange, // the display format's range clips the values the fit wants
    MaxPoints,    // maxError: the target needs more than MaxPoints points
};

struct Result {
    Status status = Status::BadRequest;
    QString message; // BadRequest / BadData: the fault in one line

    QList<Point> table; // point 1 first; passes the table check

    // The error of the table as it stands (after rounding): the largest |table(x) - source(x)|
    // over every data row, or over the whole range for a shape.
    double maxError = 0;        // display units
    double maxErrorPercent = 0; // of the display span
    double maxErrorAt = 0;      // input value where it occurs
    double span = 0;            // display span of the source (largest - smallest display value)
    // No table of as many points can have a smaller maximum error (display units): the same
    // problem without the meter's grids, minimum step and rounding. 0 when not computed.
    double lowerBound = 0;
    // The fewest points whose table reaches maxError (at most table.size()).
    int fewestPoints = 0;

    LimitingRule limitingRule = LimitingRule::None;
    QString limitingText; // "" or what the rule is, e.g. "minimum input step 0.15 mA"

    // For a preview: the source along the input range (data: every row, thinned to about
    // previewSamples by keeping each stretch's extremes, and the chart read between rows at
    // the table's points there; shape: evenly spaced samples),
    // and the signed error table(x) - source(x) at the same inputs.
    std::vector<Sample> source;
    std::vector<Sample> error;

    bool ok() const { return status == Status::Fitted || status == Status::TargetNotMet; }
};

// Fits the table the request asks for.
Result fit(const Request& request);

// The table's value at input x: straight segments between the points, the end points'
// values beyond them (the meter's input does not reach past its first and last points).
double tableValue(const QList<Point>& table, double x);

// The text of a limiting rule for a user: "minimum input step 0.15 mA", "display range
// -99.999 to 999.999", "32-point maximum"; "" for None.
QString limitingRuleText(LimitingRule rule, InputType type, const QString& format);

} // namespace Fitting
