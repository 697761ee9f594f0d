#include "app/WindowPlacement.h"

#include <algorithm>
#include <vector>

namespace WindowPlacement {
namespace {
qint64 area(const QRect& a, const QRect& b)
{
    const QRect c = a.intersected(b);
    return c.isEmpty() ? 0 : qint64(c.width()) * c.height();
}
} // namespace

Cover cover(const QRect& main, const QRect& table, const QRect& frame) { return {area(frame, table), area(frame, main)}; }

QPoint place(const QRect& main, const QRect& table, const QSize& frame, const QRect& available)
{
    const int w = frame.width(), h = frame.height();
    auto clamped = [&](QPoint at) {
        at.setX(std::max(available.left(), std::min(at.x(), available.right() + 1 - w)));
        at.setY(std::max(available.top(), std::min(at.y(), available.bottom() + 1 - h)));
        return at;
    };
    // The covered areas change slope only where an edge of the frame meets an edge of the
    // main window, the table or the screen, so the least lies on a grid of those places.
    std::vector<int> xs{main.right() + 1 + Gap, main.left() - Gap - w, main.right() + 1, main.left() - w, main.left(),
                        main.right() + 1 - w,   table.right() + 1,    table.left() - w, table.left(),    table.right() + 1 - w,
                        available.left(),       available.right() + 1 - w};
    std::vector<int> ys{main.top(), main.bottom() + 1 + Gap, main.top() - Gap - h, main.bottom() + 1, main.top() - h,
                        main.bottom() + 1 - h, table.bottom() + 1, table.top() - h,  table.top(),      table.bottom() + 1 - h,
                        available.top(),       available.bottom() + 1 - h};
    // Preferred first: right, left, below, above; ties keep the earlier place.
    std::vector<QPoint> places{{xs[0], ys[0]}, {xs[1], ys[0]}, {main.left(), ys[1]}, {main.left(), ys[2]}};
    for (int x : xs)
        for (int y : ys)
            places.emplace_back(x, y);
    QPoint best = clamped(places.front());
    Cover least = cover(main, table, QRect(best, frame));
    for (const QPoint& p : places) {
        const QPoint at = clamped(p);
        const Cover c = cover(main, table, QRect(at, frame));
        if (c < least) {
            least = c;
            best = at;
        }
    }
    return best;
}
} // namespace WindowPlacement
