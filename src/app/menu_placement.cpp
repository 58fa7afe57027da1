#include "menu_placement.h"

#include <QGuiApplication>

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
        top = h < workArea.height() ? point.y() - h : 0;
    }
    if (left + w > workRight) {
        left = w < workArea.width() ? workRight - w : 0;
    }
    return {left + 6, top - 6};
}

} // namespace velquist
