#include "ui/keyboard.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>
#include <QWidget>
#include <algorithm>

namespace velquist::ui {
namespace {

bool IsTabStop(const QWidget* w) {
    return w->isVisibleTo(w->window()) && w->isEnabled() &&
           (w->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && w->focusProxy() == nullptr;
}

// Two controls share a row when their vertical extents overlap by half the
// smaller height; rows are read top to bottom, a row left to right.
bool SameRow(const QRect& a, const QRect& b) {
    const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
    return overlap * 2 >= std::min(a.height(), b.height());
}

} // namespace

QList<QWidget*> TabStopsInVisualOrder(QWidget* window) {
    QList<QWidget*> stops;
    if (window == nullptr) {
        return stops;
    }
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (w->window() == window && IsTabStop(w)) {
            stops.append(w);
        }
    }
    auto rectOf = [window](const QWidget* w) {
        return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
    };
    // Sorted into rows first (by top), then each row by its left edges.
    std::stable_sort(stops.begin(), stops.end(), [&](const QWidget* a, const QWidget* b) {
        return rectOf(a).top() < rectOf(b).top();
    });
    QList<QWidget*> ordered;
    for (int i = 0; i < stops.size();) {
        const QRect first = rectOf(stops[i]);
        int end = i + 1;
        while (end < stops.size() && SameRow(first, rectOf(stops[end]))) {
            ++end;
        }
        QList<QWidget*> row = stops.mid(i, end - i);
        std::stable_sort(row.begin(), row.end(), [&](const QWidget* a, const QWidget* b) {
            return rectOf(a).left() < rectOf(b).left();
        });
        ordered.append(row);
        i = end;
    }
    return ordered;
}

QWidget* NextInVisualOrder(QWidget* window, QWidget* from, bool next) {
    const QList<QWidget*> stops = TabStopsInVisualOrder(window);
    if (stops.isEmpty()) {
        return nullptr;
    }
    // A focused part of a compound control (a combo box's line edit) counts as
    // the control.
    int at = -1;
    for (QWidget* w = from; w != nullptr && w != window && at < 0; w = w->parentWidget()) {
        at = static_cast<int>(stops.indexOf(w));
    }
    const int n = static_cast<int>(stops.size());
    if (at < 0) {
        return next ? stops.front() : stops.back();
    }
    return stops[(at + (next ? 1 : n - 1)) % n];
}

QAbstractButton* ButtonForEnter(QWidget* window) {
    if (window == nullptr) {
        return nullptr;
    }
    if (auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
        focused != nullptr && focused->window() == window && focused->isEnabled() &&
        focused->isVisible()) {
        return focused;
    }
    const auto buttons = window->findChildren<QPushButton*>();
    for (QPushButton* b : buttons) {
        if (b->isDefault() && b->isVisible() && b->isEnabled()) {
            return b;
        }
    }
    return nullptr;
}

} // namespace velquist::ui
