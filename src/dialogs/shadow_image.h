#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace velquist {

// One line of a window's shape: the pixels from start up to, not including, end.
// An empty line is stored as start = width, end = 0, so that neighbouring lines
// erode it away instead of widening it.
struct ShadowSpan {
    int start = 0;
    int end = 0;
    bool Empty() const { return start >= end; }
};

struct ShadowSettings {
    int size = 0;            // reach beyond the window, -20..20
    int sharpness = 5;       // width of the soft edge
    int darkness = 150;      // alpha of the solid part, 0..255
    int xOffset = 5;         // -20..20
    int yOffset = 5;         // -20..20
    std::uint32_t color = 0; // red in the low byte, then green, then blue
};

// Premultiplied 0xAARRGGBB for the colour at the given alpha (the layout of
// QImage::Format_ARGB32_Premultiplied).
std::uint32_t PremultipliedPixel(std::uint32_t color, unsigned alpha);

// The (2k + 1) x (2k + 1) stamp that softens the edge, k = max(size, sharpness).
std::vector<std::uint32_t> MakeShadowKernel(const ShadowSettings& settings);

// Size of the shadow image for a window of width x height.
int ShadowExtent(int windowExtent, const ShadowSettings& settings);

// Paints the shadow of a window whose shape is given as one span per window line
// (spans.size() is the window height) into a top-down image of
// ShadowExtent(width) x ShadowExtent(height) pixels that the caller cleared to 0.
// Returns false and paints nothing when the buffer does not have that size.
bool MakeShadowImage(std::span<std::uint32_t> pixels, int width, std::span<const ShadowSpan> spans,
                     const ShadowSettings& settings);

} // namespace velquist
