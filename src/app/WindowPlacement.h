#pragma once
// Where a second window goes beside the main one. Every rectangle is a frame rectangle
// (the window with the frame its window manager adds) in screen coordinates.
#include <QPoint>
#include <QRect>
#include <QSize>

namespace WindowPlacement {
// The gap left between the main window and one placed beside it.
constexpr int Gap = 8;

// The top left of a frame of the given size within `available`: beside `main` (right,
// left, below, above, in that order of preference) where there is room; else where it
// covers least of `table` (the part of main that must stay readable), then least of main.
// A frame larger than `available` is placed at its top left.
QPoint place(const QRect& main, const QRect& table, const QSize& frame, const QRect& available);

// What a frame at `at` covers of `table` and of `main`, in pixels, for comparing places.
struct Cover {
    qint64 table = 0;
    qint64 main = 0;
    bool operator<(const Cover& o) const { return table != o.table ? table < o.table : main < o.main; }
    bool operator==(const Cover&) const = default;
};
Cover cover(const QRect& main, const QRect& table, const QRect& frame);
} // namespace WindowPlacement
