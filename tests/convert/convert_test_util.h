#pragma once

#include "convert/convert_task.h"
#include "support/heic_fixture.h"
#include "support/image_readers.h"
#include "support/temp_dir.h"

#include <string>
#include <vector>

namespace velquist::test {

// Runs one conversion quietly.
ConversionOutcome Convert(const std::string& input, const std::string& output,
                          const std::string& format, bool keepExif = true, int quality = 90);

// Writes a fixture into dir under name and fails the test when libheif refuses it.
std::string MakeFixture(const TempDir& dir, const std::string& name, const HeicImageSpec& spec);

// Largest per-channel difference between a decoded pixel and an 8-bit colour; channel
// order 0,1,2 = red, green, blue unless bgr.
int ColorDistance(const DecodedImage& image, int x, int y, const Rgb& expected, bool bgr = false);

// Largest difference between the quadrant centres of image and the fixture colours as
// displayed (after any rotation).
int QuadrantError(const DecodedImage& image, bool bgr = false);

// The Orientation tag of IFD0 in TIFF data that starts skip bytes into data; 0 when
// absent, -1 when the data is malformed.
int ExifOrientation(const std::vector<uint8_t>& data, size_t skip = 0);

} // namespace velquist::test
