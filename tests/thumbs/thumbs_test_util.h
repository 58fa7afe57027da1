#pragma once

#include "support/heic_fixture.h"
#include "support/temp_dir.h"
#include "thumbs/thumbnail.h"

#include <string>

namespace velquist::test {

// A HEIC whose primary image shows the fixture quadrants and whose stored thumbnail is a
// flat colour of its own, so a test can tell which of the two a picture came from. The
// orientation is the primary image's only: the thumbnail is stored without one.
std::string WriteHeicWithThumbnail(const std::string& path, int width, int height, int thumbWidth,
                                   int thumbHeight, Rgb thumbColor,
                                   heif_orientation orientation = heif_orientation_normal);

// Largest channel difference between a thumbnail pixel and a colour.
int Distance(const Thumbnail& t, int x, int y, Rgb color);
int AlphaAt(const Thumbnail& t, int x, int y);

// Largest difference between the thumbnail's quadrant centres and the fixture colours.
int QuadrantError(const Thumbnail& t);

} // namespace velquist::test
