#pragma once
// Painting of a curve model with QPainter, for the curve window, its saved images and the
// printed record alike; no widget.
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>
#include <optional>

#include "table/CurveModel.h"

class QPainter;

namespace CurvePaint {

// The check of Program Meter as the curve's table rule, for the given input type.
CurveModel::TableRule tableCheckRule(std::optional<InputType> type);

// Draws the whole plot, text lines included, into `area`; a dense source the table was
// fitted to goes behind the table's segments.
void paint(QPainter& painter, const QRect& area, const CurveModel& model, const QFont& font, const QList<QPointF>& source = {});

// A point's number to be placed by its marker: the marker's centre and radius, the
// direction away from the curve, the number's box.
struct NumberLabel {
    QPointF marker;
    double radius = 0;
    QPointF normal;
    QSizeF size;
};
// Boxes for every number, none over a marker or another number where the area leaves
// room; `first` is placed before the others.
QList<QRectF> placeNumbers(const QList<NumberLabel>& labels, const QRectF& area, int first = -1);

} // namespace CurvePaint
