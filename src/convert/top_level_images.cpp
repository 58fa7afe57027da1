#include "top_level_images.h"

#include <algorithm>

namespace velquist {

std::vector<heif_item_id> TopLevelImagesInOutputOrder(heif_context* ctx) {
    const int count = heif_context_get_number_of_top_level_images(ctx);
    if (count <= 0) {
        return {};
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), count);
    ids.resize(static_cast<size_t>(std::clamp(listed, 0, count)));
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(ctx, &primary).code != heif_error_Ok) {
        return ids;
    }
    const auto it = std::find(ids.begin(), ids.end(), primary);
    // Moving the primary to the front keeps the others in file order.
    if (it != ids.end()) {
        std::rotate(ids.begin(), it, it + 1);
    }
    return ids;
}

std::string NumberedImagePath(const std::string& primaryPath, size_t position) {
    if (position == 0) {
        return primaryPath;
    }
    const size_t nameStart =
        primaryPath.rfind('/') == std::string::npos ? 0 : primaryPath.rfind('/') + 1;
    size_t dot = primaryPath.rfind('.');
    // A dot that starts the name (".jpg") or sits in a folder name is no extension.
    if (dot == std::string::npos || dot <= nameStart) {
        dot = primaryPath.size();
    }
    return primaryPath.substr(0, dot) + "-" + std::to_string(position + 1) +
           primaryPath.substr(dot);
}

std::vector<ImageOutput> PlanImageOutputs(heif_context* ctx, const std::string& primaryPath) {
    std::vector<ImageOutput> outputs;
    const std::vector<heif_item_id> ids = TopLevelImagesInOutputOrder(ctx);
    outputs.reserve(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        outputs.push_back({ids[i], NumberedImagePath(primaryPath, i)});
    }
    return outputs;
}

} // namespace velquist
