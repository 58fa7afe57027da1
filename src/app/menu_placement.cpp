#include "menu_placement.h"

#include <QGuiApplication>
#include <algorithm>

namespace velquist {

bool WindowPositionsKnown() {
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

QPoint PlaceMenu(QPoint point, QSize size, const QRect& workArea) {
    const int w = size.width();
    const int h = size.height();
    // Edges as the window manager counts them: right and bottom are exclusive.
    const int workRight = workArea.x() + workArea.width();
    const int workBottom = workArea.y() + workArea.height();
    int left = point.x();
    int top = point.y();
    if (top + h > workBottom) {
        top = point.y() - h;
    }
    if (left + w > workRight) {
        left = workRight - w;
    }
    // The shift must not push the menu off the screen's edge, so the work area
    // has the last word; a menu larger than the area keeps its top-left corner.
    left = std::max(workArea.x(), std::min(left + 6, workRight - w));
    top = std::max(workArea.y(), std::min(top - 6, workBottom - h));
    return {left, top};
}

} // namespace velquist
