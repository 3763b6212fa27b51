#include "platform/Platzierung.h"

#include <algorithm>
#include <limits>

namespace platzierung {
namespace {

bool OnAScreen(QPoint p, const QList<QRect>& screens) {
    return std::any_of(screens.begin(), screens.end(),
                       [&](const QRect& s) { return s.contains(p); });
}

// Every column of the bar's top and bottom row on some screen: the bar may span
// two screens side by side.
bool Covered(const QRect& bar, const QList<QRect>& screens) {
    for (int x = bar.left(); x <= bar.right(); ++x)
        if (!OnAScreen(QPoint(x, bar.top()), screens) ||
            !OnAScreen(QPoint(x, bar.bottom()), screens))
            return false;
    return true;
}

qint64 Area(const QRect& r) {
    return r.isEmpty() ? 0 : qint64(r.width()) * r.height();
}

qint64 Distance(const QRect& a, const QRect& b) {
    const qint64 dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const qint64 dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

int Clamp(int v, int low, int lengthInside, int length) {
    // Wider than the screen: the left (top) edge stays reachable.
    return length > lengthInside ? low : std::clamp(v, low, low + lengthInside - length);
}

} // namespace

QPoint TitelleisteAufBildschirm(QPoint wanted, QSize titleBar, const QList<QRect>& screens) {
    const QRect bar(wanted, titleBar);
    if (screens.isEmpty() || bar.isEmpty() || Covered(bar, screens))
        return wanted;
    const QRect* best = nullptr;
    qint64 bestOverlap = 0, bestDistance = std::numeric_limits<qint64>::max();
    for (const QRect& s : screens) {
        const qint64 overlap = Area(s & bar);
        const qint64 distance = Distance(s, bar);
        if (overlap > bestOverlap ||
            (bestOverlap == 0 && overlap == 0 && distance < bestDistance)) {
            best = &s;
            bestOverlap = overlap;
            bestDistance = distance;
        }
    }
    return QPoint(Clamp(wanted.x(), best->left(), best->width(), titleBar.width()),
                  Clamp(wanted.y(), best->top(), best->height(), titleBar.height()));
}

bool PositionErinnerbar(const QString& platformName) {
    return !platformName.startsWith(QLatin1String("wayland"));
}

} // namespace platzierung
