#pragma once

#include <QString>
#include <QWidget>
#include <chrono>
#include <functional>

namespace velquist::testing {

// The shown top-level window whose object name (the window class name) is className.
QWidget* ShownWindow(const QString& className);

// Acts on the window once a modal loop shows it; polled from the GUI thread.
void WhenShown(const QString& className, std::function<void(QWidget*)> act);

void ClickButton(QWidget* window, const char* name);
QString ChildText(QWidget* window, const char* name);
void SetChildText(QWidget* window, const char* name, const QString& text);

// Runs the GUI thread's events until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

} // namespace velquist::testing
