#pragma once

#include "gui_driver.h"

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace velquist::e2e {

// The main window's class name, which is also its widget's object name.
inline const QString kMainWindowClass = QStringLiteral("HEIC图片转换器");

// Generous: the machine may be busy with other builds while these tests run.
inline constexpr int kPatienceMs = 20000;

using ::velquist::testing::Click;
using ::velquist::testing::CloseStrayWindows;
using ::velquist::testing::ShownWindow;
using ::velquist::testing::TextOf;
using ::velquist::testing::Type;

// Runs the event loop until pred holds or ms pass; the final verdict of pred.
inline bool SpinUntil(const std::function<bool()>& pred, int ms = kPatienceMs) {
    return ::velquist::testing::SpinUntil(pred, ms);
}

// Steps that keep the main window open when a window never shows.
class Steps : public ::velquist::testing::WindowSteps {
  public:
    Steps() : WindowSteps(kMainWindowClass, kPatienceMs) {}
};

} // namespace velquist::e2e
