#include "thumbnail_scale.h"

#include <algorithm>

namespace velquist {
namespace {

struct Span {
    int begin = 0;
    int end = 0;
};

// The source pixels that cover target pixel i of n; at least one pixel wide.
Span SourceSpan(int i, int n, int sourceLength) {
    const int begin = static_cast<int>(int64_t{i} * sourceLength / n);
    const int end = static_cast<int>(int64_t{i + 1} * sourceLength / n);
    return {begin, std::max(end, begin + 1)};
}

struct Sums {
    uint64_t color[3] = {0, 0, 0};
    uint64_t alpha = 0;
    uint64_t count = 0;
};

void AddPixel(Sums& sums, const uint8_t* p, int channels) {
    const uint64_t a = channels == 4 ? p[3] : 255;
    for (int c = 0; c < 3; ++c) {
        sums.color[c] += uint64_t{p[c]} * a;
    }
    sums.alpha += a;
    ++sums.count;
}

void StoreAverage(const Sums& sums, uint8_t* out) {
    for (int c = 0; c < 3; ++c) {
        out[c] = sums.alpha == 0
                     ? 0
                     : static_cast<uint8_t>((sums.color[c] + sums.alpha / 2) / sums.alpha);
    }
    out[3] = static_cast<uint8_t>((sums.alpha + sums.count / 2) / sums.count);
}

} // namespace

PixelSize FitWithin(int width, int height, int maxSide) {
    const int longest = std::max(width, height);
    if (width <= 0 || height <= 0 || maxSide <= 0) {
        return {};
    }
    if (longest <= maxSide) {
        return {width, height};
    }
    auto scaled = [&](int side) {
        return std::max(1, static_cast<int>((int64_t{side} * maxSide + longest / 2) / longest));
    };
    return {scaled(width), scaled(height)};
}

std::vector<uint8_t> DownscaleToRgba(const uint8_t* pixels, size_t stride, int channels,
                                     PixelSize source, PixelSize target) {
    std::vector<uint8_t> out(static_cast<size_t>(target.width) * target.height * 4);
    for (int ty = 0; ty < target.height; ++ty) {
        const Span rows = SourceSpan(ty, target.height, source.height);
        for (int tx = 0; tx < target.width; ++tx) {
            const Span cols = SourceSpan(tx, target.width, source.width);
            Sums sums;
            for (int y = rows.begin; y < rows.end; ++y) {
                const uint8_t* row = pixels + static_cast<size_t>(y) * stride;
                for (int x = cols.begin; x < cols.end; ++x) {
                    AddPixel(sums, row + static_cast<size_t>(x) * channels, channels);
                }
            }
            StoreAverage(sums, out.data() + (static_cast<size_t>(ty) * target.width + tx) * 4);
        }
    }
    return out;
}

} // namespace velquist
