#pragma once

#include "thumbnail.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

namespace velquist {

// Identifies one version of a file: a picture made from it is stale once either changes.
struct FileStamp {
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of a regular file; none when it is missing or not a regular file.
std::optional<FileStamp> StampOf(const std::string& path);

struct ThumbnailCacheLimits {
    size_t maxEntries = 4096;
    size_t maxBytes = size_t{24} << 20; // ~650 full-size thumbnails of 96 px
};

// Least-recently-used store of thumbnails (and of failures, so a broken file is not
// decoded again on every scroll), keyed by the path's bytes and valid for one FileStamp.
// Safe to use from several threads.
class ThumbnailCache {
  public:
    explicit ThumbnailCache(ThumbnailCacheLimits limits = {}) : limits_(limits) {}

    // Null when there is nothing for this version of the file.
    std::shared_ptr<const ThumbnailResult> Find(const std::string& path, const FileStamp& stamp);
    std::shared_ptr<const ThumbnailResult> Store(const std::string& path, const FileStamp& stamp,
                                                 ThumbnailResult result);

    size_t Entries() const;
    size_t Bytes() const;

  private:
    struct Entry {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<const ThumbnailResult> result;
        size_t bytes = 0;
    };
    using Order = std::list<Entry>;

    void EraseLocked(Order::iterator it);
    void TrimLocked();

    ThumbnailCacheLimits limits_;
    mutable std::mutex mutex_;
    Order order_; // most recently used first
    std::unordered_map<std::string, Order::iterator> index_;
    size_t bytes_ = 0;
};

} // namespace velquist
