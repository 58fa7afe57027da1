#include "platform/desktop.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace velquist {
namespace {

TEST(DesktopTest, NoBlendingWithoutAnX11Compositor) {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        GTEST_SKIP() << "runs on a real X display; its compositor decides";
    }
    EXPECT_FALSE(CanBlendTranslucentWindows());
}

} // namespace
} // namespace velquist
