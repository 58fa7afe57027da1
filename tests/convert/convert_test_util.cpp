#include "convert_test_util.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>

namespace velquist::test {

ConversionOutcome Convert(const std::string& input, const std::string& output,
                          const std::string& format, bool keepExif, int quality) {
    ConvertTask task;
    task.inputPath = input;
    task.outputPath = output;
    task.settings.format = ParseOutputFormat(format).value_or(OutputFormat::kJpg);
    task.settings.quality = quality;
    task.settings.keepExif = keepExif;
    return RunConversion(task, false);
}

std::string MakeFixture(const TempDir& dir, const std::string& name, const HeicImageSpec& spec) {
    const std::string path = dir.File(name);
    const std::string error = WriteHeic(path, spec);
    EXPECT_EQ(error, "") << "fixture " << name;
    return path;
}

int ColorDistance(const DecodedImage& image, int x, int y, const Rgb& expected, bool bgr) {
    const int r = image.At(x, y, bgr ? 2 : 0);
    const int g = image.At(x, y, 1);
    const int b = image.At(x, y, bgr ? 0 : 2);
    return std::max({std::abs(r - expected.r), std::abs(g - expected.g), std::abs(b - expected.b)});
}

int QuadrantError(const DecodedImage& image, bool bgr) {
    const int xs[2] = {image.width / 4, image.width * 3 / 4};
    const int ys[2] = {image.height / 4, image.height * 3 / 4};
    const Quadrant order[4] = {kTopLeft, kTopRight, kBottomLeft, kBottomRight};
    int worst = 0;
    for (int i = 0; i < 4; ++i) {
        worst = std::max(worst,
                         ColorDistance(image, xs[i % 2], ys[i / 2], QuadrantColor(order[i]), bgr));
    }
    return worst;
}

int ExifOrientation(const std::vector<uint8_t>& data, size_t skip) {
    if (data.size() < skip + 8) {
        return -1;
    }
    const uint8_t* t = data.data() + skip;
    const size_t size = data.size() - skip;
    const bool little = t[0] == 'I';
    auto get16 = [&](size_t at) {
        return little ? t[at] | t[at + 1] << 8 : t[at] << 8 | t[at + 1];
    };
    auto get32 = [&](size_t at) {
        return little ? uint32_t(get16(at)) | uint32_t(get16(at + 2)) << 16
                      : uint32_t(get16(at)) << 16 | get16(at + 2);
    };
    const size_t ifd = get32(4);
    if (ifd + 2 > size) {
        return -1;
    }
    const int count = get16(ifd);
    for (int i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + static_cast<size_t>(i) * 12;
        if (entry + 12 > size) {
            return -1;
        }
        if (get16(entry) == 0x0112) {
            return get16(entry + 8);
        }
    }
    return 0;
}

} // namespace velquist::test
