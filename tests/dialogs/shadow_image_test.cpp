#include "dialogs/shadow_image.h"
#include "dialogs/wnd_shadow.h"

#include <QImage>
#include <QRegion>
#include <gtest/gtest.h>

namespace velquist {
namespace {

// The settings the message and prompt boxes use.
ShadowSettings BoxSettings() {
    ShadowSettings s;
    s.size = 4;
    s.sharpness = 5;
    s.darkness = 150;
    s.xOffset = 0;
    s.yOffset = 0;
    s.color = 0x9D9D9E; // red 0x9E, green 0x9D, blue 0x9D
    return s;
}

unsigned Alpha(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y));
}

std::uint32_t Raw(const QImage& image, int x, int y) {
    return reinterpret_cast<const std::uint32_t*>(image.constScanLine(y))[x];
}

TEST(ShadowKernel, FallsOffFromDarknessByOneSixthPerPixel) {
    const ShadowSettings s = BoxSettings();
    const std::vector<std::uint32_t> kernel = MakeShadowKernel(s);
    ASSERT_EQ(kernel.size(), 11u * 11u);
    const unsigned expected[] = {150, 125, 100, 75, 50, 25};
    for (int d = 0; d <= 5; ++d) {
        EXPECT_EQ(kernel[5 * 11 + 5 + d] >> 24, expected[d]) << "distance " << d;
        EXPECT_EQ(kernel[(5 - d) * 11 + 5] >> 24, expected[d]) << "distance " << d;
    }
    // Corners lie beyond the radius.
    EXPECT_EQ(kernel[0], 0u);
    // Premultiplied: each channel scaled by alpha / 255, truncated.
    EXPECT_EQ(kernel[5 * 11 + 5], PremultipliedPixel(s.color, 150));
    EXPECT_EQ(PremultipliedPixel(0x9D9D9E, 150), (150u << 24) | (92u << 16) | (92u << 8) | 92u);
    EXPECT_EQ(PremultipliedPixel(0x9D9D9E, 100), (100u << 24) | (61u << 16) | (61u << 8) | 61u);
}

class RectangularBoxShadow : public ::testing::Test {
  protected:
    void SetUp() override {
        image_ = CWndShadow::MakeShadow(QRegion(0, 0, 300, 200), QSize(300, 200), BoxSettings());
        ASSERT_FALSE(image_.isNull());
    }
    QImage image_;
};

TEST_F(RectangularBoxShadow, ReachesFourPixelsBeyondTheWindow) {
    EXPECT_EQ(image_.size(), QSize(308, 208));
}

TEST_F(RectangularBoxShadow, AreaUnderTheWindowIsFullyTransparent) {
    for (int y = 4; y < 204; ++y) {
        for (int x = 4; x < 304; ++x) {
            ASSERT_EQ(Raw(image_, x, y), 0u) << x << "," << y;
        }
    }
}

TEST_F(RectangularBoxShadow, FringeFadesOutwardOnEverySide) {
    const unsigned outward[] = {100, 75, 50, 25};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Alpha(image_, 3 - i, 100), outward[i]) << "left " << i;
        EXPECT_EQ(Alpha(image_, 304 + i, 100), outward[i]) << "right " << i;
        EXPECT_EQ(Alpha(image_, 150, 3 - i), outward[i]) << "top " << i;
        EXPECT_EQ(Alpha(image_, 150, 204 + i), outward[i]) << "bottom " << i;
    }
    EXPECT_EQ(Raw(image_, 0, 100), PremultipliedPixel(0x9D9D9E, 25));
    EXPECT_EQ(Raw(image_, 3, 100), PremultipliedPixel(0x9D9D9E, 100));
}

TEST_F(RectangularBoxShadow, CornersAreRoundedAndPixelsPremultiplied) {
    EXPECT_EQ(Raw(image_, 0, 0), 0u);
    EXPECT_EQ(Raw(image_, 307, 207), 0u);
    EXPECT_GT(Alpha(image_, 3, 3), 0u);
    for (int y = 0; y < image_.height(); ++y) {
        for (int x = 0; x < image_.width(); ++x) {
            const QRgb p = image_.pixel(x, y);
            ASSERT_LE(qRed(p), qAlpha(p));
            ASSERT_LE(qBlue(p), qAlpha(p));
        }
    }
}

TEST(ShadowShape, WindowWithoutMaskCastsNoShadow) {
    EXPECT_TRUE(CWndShadow::MakeShadow(QRegion(), QSize(300, 200), BoxSettings()).isNull());

    // The pure function paints nothing for a shape with no lines inside.
    std::vector<ShadowSpan> empty(20, ShadowSpan{30, 0});
    std::vector<std::uint32_t> pixels(38 * 28, 0);
    ASSERT_TRUE(MakeShadowImage(pixels, 30, empty, BoxSettings()));
    for (std::uint32_t p : pixels) {
        ASSERT_EQ(p, 0u);
    }
}

TEST(ShadowShape, WrongBufferSizeIsRefused) {
    std::vector<ShadowSpan> spans(20, ShadowSpan{0, 30});
    std::vector<std::uint32_t> pixels(30 * 20, 0);
    EXPECT_FALSE(MakeShadowImage(pixels, 30, spans, BoxSettings()));
}

TEST(ShadowShape, SpansFollowTheMaskFromEachEnd) {
    // A ring: the hole in the middle does not split a line's span.
    const QRegion ring = QRegion(0, 0, 10, 10).subtracted(QRegion(3, 3, 4, 4));
    const QRegion shape = ring.united(QRegion(12, 5, 2, 1));
    const auto spans = CWndShadow::SpansFromMask(shape, QSize(20, 12));
    ASSERT_EQ(spans.size(), 12u);
    EXPECT_EQ(spans[0].start, 0);
    EXPECT_EQ(spans[0].end, 10);
    EXPECT_EQ(spans[4].end, 10);
    EXPECT_EQ(spans[5].end, 14);
    EXPECT_TRUE(spans[10].Empty());
    EXPECT_EQ(spans[10].start, 20);
    EXPECT_EQ(spans[10].end, 0);
}

TEST(ShadowShape, OffsetShadowStillLeavesTheWindowVisible) {
    ShadowSettings s = BoxSettings();
    s.xOffset = 3;
    s.yOffset = 2;
    const QImage image = CWndShadow::MakeShadow(QRegion(0, 0, 60, 40), QSize(60, 40), s);
    ASSERT_EQ(image.size(), QSize(68, 48));
    // The window's pixel (px, py) lies at (px + size - xOffset, py + size - yOffset).
    for (int y = 2; y < 42; ++y) {
        for (int x = 1; x < 61; ++x) {
            ASSERT_EQ(Raw(image, x, y), 0u) << x << "," << y;
        }
    }
    EXPECT_GT(Alpha(image, 63, 45), 0u);
}

TEST(ShadowShape, LargeSizeClipsTheKernelAtTheImageEdge) {
    ShadowSettings s = BoxSettings();
    s.size = 20;
    s.sharpness = 2;
    const QImage image = CWndShadow::MakeShadow(QRegion(0, 0, 8, 8), QSize(8, 8), s);
    ASSERT_EQ(image.size(), QSize(48, 48));
    EXPECT_EQ(Alpha(image, 24, 24), 0u);
    EXPECT_EQ(Alpha(image, 20, 5), 150u); // inside the solid core
}

} // namespace
} // namespace velquist

namespace velquist {
namespace {

// Every size and offset the setters accept, on a small shaped window: the image
// has the promised size and nothing is written outside it (run under ASan).
TEST(ShadowShape, EveryAcceptedSettingStaysInsideTheImage) {
    const QRegion shape = QRegion(0, 0, 12, 9, QRegion::Ellipse).united(QRegion(2, 0, 3, 9));
    for (int size = -20; size <= 20; size += 3) {
        for (int offset = -20; offset <= 20; offset += 5) {
            ShadowSettings s = BoxSettings();
            s.size = size;
            s.xOffset = offset;
            s.yOffset = -offset;
            const QImage image = CWndShadow::MakeShadow(shape, QSize(12, 9), s);
            if (12 + 2 * size <= 0 || 9 + 2 * size <= 0) {
                EXPECT_TRUE(image.isNull()) << size;
                continue;
            }
            ASSERT_EQ(image.size(), QSize(12 + 2 * size, 9 + 2 * size)) << size << " " << offset;
        }
    }
}

} // namespace
} // namespace velquist
