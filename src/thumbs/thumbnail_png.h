#pragma once

#include "thumbnail.h"

#include <string>

namespace velquist {

// Writes the picture as an 8-bit PNG (RGB when it is opaque throughout, else RGBA). The
// file appears under path only once it is complete; on failure nothing is left there and
// error says why.
bool WriteThumbnailPng(const Thumbnail& thumbnail, const std::string& path, std::string* error);

} // namespace velquist
