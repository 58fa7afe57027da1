#include "shadow_image.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace velquist {

namespace {

// Spans of the shadow's working lines with one empty guard line before and after,
// so neighbour lookups never leave the table.
class WorkingSpans {
  public:
    WorkingSpans(int lines, int emptyStart) : spans_(static_cast<std::size_t>(lines) + 2) {
        for (auto& span : spans_) {
            span = ShadowSpan{emptyStart, 0};
        }
    }
    int Lines() const { return static_cast<int>(spans_.size()) - 2; }
    ShadowSpan& At(int line) { return spans_[static_cast<std::size_t>(line + 1)]; }
    const ShadowSpan& At(int line) const { return spans_[static_cast<std::size_t>(line + 1)]; }

    // Narrows every line by one pixel at each end, and by whatever its neighbours
    // lack, so that the soft edge starts inside the window's outline.
    void Erode() {
        std::vector<ShadowSpan> next = spans_;
        for (int line = 0; line < Lines(); ++line) {
            const ShadowSpan& above = At(line - 1);
            const ShadowSpan& here = At(line);
            const ShadowSpan& below = At(line + 1);
            ShadowSpan& out = next[static_cast<std::size_t>(line + 1)];
            out.start = std::max({above.start, here.start, below.start}) + 1;
            out.end = std::min({above.end, here.end, below.end}) - 1;
        }
        spans_ = std::move(next);
    }

  private:
    std::vector<ShadowSpan> spans_;
};

struct Canvas {
    std::span<std::uint32_t> pixels;
    int width = 0;
    int height = 0;

    std::uint32_t& At(int x, int y) {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    void Fill(int y, int from, int to, std::uint32_t value) {
        from = std::max(from, 0);
        to = std::min(to, width);
        for (int x = from; x < to; ++x) {
            At(x, y) = value;
        }
    }
};

int KernelRadius(const ShadowSettings& s) {
    return std::max(s.size, s.sharpness);
}

WorkingSpans ShiftedSpans(int width, std::span<const ShadowSpan> spans, const ShadowSettings& s) {
    const int height = static_cast<int>(spans.size());
    WorkingSpans working(std::max(height, height + 2 * s.size), width);
    for (int i = 0; i < height; ++i) {
        const int line = i + s.size;
        if (line < 0 || line >= working.Lines() || spans[static_cast<std::size_t>(i)].Empty()) {
            continue;
        }
        const ShadowSpan& span = spans[static_cast<std::size_t>(i)];
        working.At(line) = ShadowSpan{span.start + s.size, span.end + s.size};
    }
    return working;
}

// Keeps the larger value per pixel; alpha sits in the top byte, so it decides first.
void Stamp(Canvas& canvas, const std::vector<std::uint32_t>& kernel, int radius, int cx, int cy) {
    const int side = 2 * radius + 1;
    for (int ky = 0; ky < side; ++ky) {
        const int y = cy + ky - radius;
        if (y < 0 || y >= canvas.height) {
            continue;
        }
        for (int kx = 0; kx < side; ++kx) {
            const int x = cx + kx - radius;
            if (x < 0 || x >= canvas.width) {
                continue;
            }
            const std::uint32_t value = kernel[static_cast<std::size_t>(ky * side + kx)];
            canvas.At(x, y) = std::max(canvas.At(x, y), value);
        }
    }
}

void PaintSoftEdge(Canvas& canvas, const WorkingSpans& working, const ShadowSettings& s) {
    const int radius = KernelRadius(s);
    const std::vector<std::uint32_t> kernel = MakeShadowKernel(s);
    const int last = std::min(canvas.height - radius - 1, working.Lines() - 1);
    for (int y = radius; y <= last; ++y) {
        const ShadowSpan& span = working.At(y);
        if (span.Empty()) {
            continue;
        }
        const ShadowSpan& above = working.At(y - 1);
        const ShadowSpan& below = working.At(y + 1);
        const int leftEnd = std::min(span.end, std::max(above.start, below.start) + 1);
        for (int x = span.start; x < leftEnd; ++x) {
            Stamp(canvas, kernel, radius, x, y);
        }
        const int rightStart = std::max(std::min(above.end, below.end) - 1, leftEnd);
        for (int x = rightStart; x < span.end; ++x) {
            Stamp(canvas, kernel, radius, x, y);
        }
    }
}

// Fills the inside of the shadow and clears the window's own area, which lies
// beneath the shadow window and must stay fully visible.
void PaintCoreAndHole(Canvas& canvas, const WorkingSpans& working,
                      std::span<const ShadowSpan> parent, const ShadowSettings& s) {
    const int height = static_cast<int>(parent.size());
    const int radius = KernelRadius(s);
    const std::uint32_t solid = PremultipliedPixel(s.color, static_cast<unsigned>(s.darkness));
    const int first = std::max(std::min(std::max(s.size - s.yOffset, 0), radius), 0);
    const int stop =
        std::max(canvas.height - radius, std::min(height + s.size - s.yOffset, canvas.height));
    const int last = std::min({stop, canvas.height, working.Lines()});
    for (int y = first; y < last; ++y) {
        const ShadowSpan& span = working.At(y);
        const int q = y + s.yOffset - s.size;
        if (q < 0 || q >= height) {
            canvas.Fill(y, span.start, span.end, solid);
            continue;
        }
        const ShadowSpan& under = parent[static_cast<std::size_t>(q)];
        const int holeStart = under.start + s.size - s.xOffset;
        const int holeEnd = under.end + s.size - s.xOffset;
        canvas.Fill(y, span.start, std::min(span.end, holeStart), solid);
        canvas.Fill(y, std::max(span.start, holeEnd), span.end, solid);
        canvas.Fill(y, holeStart, holeEnd, 0);
    }
}

} // namespace

std::uint32_t PremultipliedPixel(std::uint32_t color, unsigned alpha) {
    alpha = std::min(alpha, 255u);
    const std::uint32_t red = (color & 0xFFu) * alpha / 255u;
    const std::uint32_t green = ((color >> 8) & 0xFFu) * alpha / 255u;
    const std::uint32_t blue = ((color >> 16) & 0xFFu) * alpha / 255u;
    return (alpha << 24) | (red << 16) | (green << 8) | blue;
}

std::vector<std::uint32_t> MakeShadowKernel(const ShadowSettings& s) {
    const int radius = KernelRadius(s);
    const int core = s.size > s.sharpness ? s.size - s.sharpness : 0;
    const int side = 2 * radius + 1;
    std::vector<std::uint32_t> kernel(static_cast<std::size_t>(side * side), 0);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double dx = x - radius;
            const double dy = y - radius;
            const double e = std::sqrt(dx * dx + dy * dy);
            unsigned alpha = 0;
            if (e < core) {
                alpha = static_cast<unsigned>(s.darkness);
            } else if (e <= radius) {
                // (1 - (e - m) / (p + 1)) * d, arranged so that whole distances give
                // whole alphas: 1 - 5/6 in binary floating point is just below 1/6,
                // which truncation would turn from 25 into 24.
                const double steps = s.sharpness + 1;
                const double value = (steps - (e - core)) * s.darkness / steps;
                alpha = static_cast<unsigned>(std::max(value, 0.0));
            }
            kernel[static_cast<std::size_t>(y * side + x)] = PremultipliedPixel(s.color, alpha);
        }
    }
    return kernel;
}

int ShadowExtent(int windowExtent, const ShadowSettings& settings) {
    return windowExtent + 2 * settings.size;
}

bool MakeShadowImage(std::span<std::uint32_t> pixels, int width, std::span<const ShadowSpan> spans,
                     const ShadowSettings& settings) {
    const int height = static_cast<int>(spans.size());
    Canvas canvas{pixels, ShadowExtent(width, settings), ShadowExtent(height, settings)};
    if (width <= 0 || canvas.width <= 0 || canvas.height <= 0 ||
        pixels.size() != static_cast<std::size_t>(canvas.width) * canvas.height) {
        return false;
    }
    WorkingSpans working = ShiftedSpans(width, spans, settings);
    for (int pass = settings.size; pass < settings.sharpness; ++pass) {
        working.Erode();
    }
    PaintSoftEdge(canvas, working, settings);
    PaintCoreAndHole(canvas, working, spans, settings);
    return true;
}

} // namespace velquist
