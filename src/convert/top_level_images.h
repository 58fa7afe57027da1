#pragma once

#include <cstddef>
#include <libheif/heif.h>
#include <string>
#include <vector>

namespace velquist {

// Most images written from one file: a hostile file may list thousands.
constexpr std::size_t kMaxImagesPerFile = 256;

// The file's top-level images in output order: the primary first, then the others in the
// order the file lists them. Empty when libheif reports none.
std::vector<heif_item_id> TopLevelImagesInOutputOrder(heif_context* ctx);

// The output path of the image at `position` in that order: the primary keeps the path,
// the others get "-2", "-3", ... before the extension ("a/IMG_1.jpg" -> "a/IMG_1-2.jpg").
// Only the last path element is looked at; its bytes are kept as they are.
std::string NumberedImagePath(const std::string& primaryPath, size_t position);

struct ImageOutput {
    heif_item_id id = 0;
    std::string path;
};

// Every top-level image of the file with the path it is written to.
std::vector<ImageOutput> PlanImageOutputs(heif_context* ctx, const std::string& primaryPath);

} // namespace velquist
