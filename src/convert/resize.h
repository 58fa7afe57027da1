#pragma once

#include "heif_handles.h"

#include <libheif/heif.h>
#include <optional>
#include <string>

namespace velquist {

struct ScaledSize {
    int width = 0;
    int height = 0;
};

// The size whose long edge is maxSize with the aspect kept (the short edge rounded, at
// least 1); none when maxSize is 0 or the picture is not larger: a photo is never enlarged.
std::optional<ScaledSize> FitLongEdge(int width, int height, int maxSize);

// A Lanczos-filtered copy of a decoded image at size, in the same colourspace, chroma and
// depth: planar YCbCr is shrunk plane by plane (never through RGB), interleaved RGB(A)
// channel by channel, with colour weighted by its alpha so that transparent pixels do not
// bleed into the edges of what is visible. Null with *error set when it cannot be made.
HeifImagePtr ResizeImage(const heif_image* image, ScaledSize size, std::string* error);

} // namespace velquist
