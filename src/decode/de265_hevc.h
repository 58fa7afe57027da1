#pragma once

#include "hevc_nal.h"

#include <libheif/heif.h>
#include <vector>

namespace velquist {

// Decodes one picture with libde265, the decoder libheif uses on its own; for the units
// libavcodec refuses.
heif_error DecodeWithDe265(const std::vector<NalUnit>& units, heif_image** out);

} // namespace velquist
