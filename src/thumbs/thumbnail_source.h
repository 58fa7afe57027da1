#pragma once

#include "thumbnail_cache.h"
#include "thumbnail_client.h"

#include <memory>
#include <string>

namespace velquist {

// What the list asks for a row: the cached picture for this version of the file, else
// one fetched from the worker and remembered.
class ThumbnailSource {
  public:
    ThumbnailSource(ThumbnailClientOptions client, ThumbnailCacheLimits cache = {})
        : client_(std::move(client)), cache_(cache) {}

    std::shared_ptr<const ThumbnailResult> Get(const std::string& path);

    const ThumbnailCache& Cache() const { return cache_; }
    const ThumbnailClient& Client() const { return client_; }

  private:
    ThumbnailClient client_;
    ThumbnailCache cache_;
};

} // namespace velquist
