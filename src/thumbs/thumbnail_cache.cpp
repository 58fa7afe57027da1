#include "thumbnail_cache.h"

#include <sys/stat.h>

namespace velquist {
namespace {

// What an entry costs beyond its pixels: path, failure text, list and map nodes.
size_t CostOf(const std::string& path, const ThumbnailResult& result) {
    return result.thumbnail.rgba.size() + result.error.size() + 2 * path.size() + 160;
}

} // namespace

std::optional<FileStamp> StampOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return FileStamp{static_cast<uint64_t>(info.st_size),
                     int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::shared_ptr<const ThumbnailResult> ThumbnailCache::Find(const std::string& path,
                                                            const FileStamp& stamp) {
    std::lock_guard lock(mutex_);
    const auto found = index_.find(path);
    if (found == index_.end()) {
        return nullptr;
    }
    if (!(found->second->stamp == stamp)) {
        EraseLocked(found->second);
        return nullptr;
    }
    order_.splice(order_.begin(), order_, found->second);
    return found->second->result;
}

std::shared_ptr<const ThumbnailResult>
ThumbnailCache::Store(const std::string& path, const FileStamp& stamp, ThumbnailResult result) {
    const size_t bytes = CostOf(path, result);
    auto shared = std::make_shared<const ThumbnailResult>(std::move(result));
    std::lock_guard lock(mutex_);
    if (const auto found = index_.find(path); found != index_.end()) {
        EraseLocked(found->second);
    }
    order_.push_front({path, stamp, shared, bytes});
    index_[path] = order_.begin();
    bytes_ += bytes;
    TrimLocked();
    return shared;
}

size_t ThumbnailCache::Entries() const {
    std::lock_guard lock(mutex_);
    return order_.size();
}

size_t ThumbnailCache::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

void ThumbnailCache::EraseLocked(Order::iterator it) {
    bytes_ -= it->bytes;
    index_.erase(it->path);
    order_.erase(it);
}

void ThumbnailCache::TrimLocked() {
    // The newest entry stays even when it alone is over the budget: the caller holds it.
    while (order_.size() > 1 && (order_.size() > limits_.maxEntries || bytes_ > limits_.maxBytes)) {
        EraseLocked(std::prev(order_.end()));
    }
}

} // namespace velquist
