#include "thumbnail_source.h"

namespace velquist {

std::shared_ptr<const ThumbnailResult> ThumbnailSource::Get(const std::string& path) {
    const std::optional<FileStamp> stamp = StampOf(path);
    if (!stamp) {
        return std::make_shared<const ThumbnailResult>(ThumbnailResult::Failure("file not found"));
    }
    if (auto cached = cache_.Find(path, *stamp)) {
        return cached;
    }
    ThumbnailResult result = client_.Fetch(path);
    // A file that changed while it was read gets no entry; the next look reads it again.
    if (StampOf(path) != stamp) {
        return std::make_shared<const ThumbnailResult>(std::move(result));
    }
    return cache_.Store(path, *stamp, std::move(result));
}

} // namespace velquist
