#pragma once

#include "hevc_nal.h"

#include <libheif/heif.h>
#include <vector>

namespace velquist {

// Decodes one intra picture (parameter sets plus its slices) with libavcodec's HEVC
// decoder, single-threaded: libheif already runs tiles in parallel. Contexts are kept in a
// pool and reused, so a grid of tiles pays for opening a decoder and for fresh frame
// buffers once per thread, not once per tile. False for anything libavcodec refuses or
// reports as damaged; the caller then tries libde265.
bool DecodeWithAvcodec(const std::vector<NalUnit>& units, heif_image** out);

} // namespace velquist
