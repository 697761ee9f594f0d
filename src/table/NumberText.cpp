#include "table/NumberText.h"

namespace NumberText {
QString normalForm(const QString& text, int, bool) { return text; }
double leadingValue(const QString&) { return 0; }
std::optional<double> toNumber(const QString&) { return std::nullopt; }
} // namespace NumberText
