#pragma once
// A fit's result as a user reads it: the figures with their decimals, the summary line that
// `talvo-linearizer fit` prints and Fit Points shows, and the JSON object of `fit --json`.
#include <QString>

#include "fitting/Fit.h"

namespace FitReport {

// A result's figures as the text and JSON outputs give them.
struct Figures {
    QString maxError, percent, at, unit; // the error with the format's decimals + 2
    QString lowerBound;                  // "" when not known
    QString aboveBest;                   // % of the lower bound the error lies above it; "" when not known
    QString aboveBy;                     // the same in display units, when the bound is under half a unit
    QString ends;                        // "source" or "free"
    int fewestPoints = 0;                // fewer points that reach the same error; 0 for none
};
Figures figures(const Fitting::Result& result, const Fitting::Request& request);

// The summary line: "max error E (P % of span) at INPUT UNIT[, within Q % (or D) of the best possible];
// ends on the source|ends free[; limited by RULE][; N points reach the same error]".
QString summary(const Fitting::Result& result, const Fitting::Request& request);
// The result as one JSON object: source, ends, points, max_error, at, unit, percent_of_span,
// limit, lower_bound, fewest_points.
QString json(const Fitting::Result& result, const Fitting::Request& request, const QString& source);

} // namespace FitReport
