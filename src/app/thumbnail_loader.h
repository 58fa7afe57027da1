#pragma once

#include "thumbs/thumbnail_client.h"

#include <QImage>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velquist {

// One list entry whose picture is wanted: its id and its path as the bytes on disk.
struct ThumbnailWanted {
    int id = 0;
    std::string path;
};

// What the loader made for an entry: a picture that fits the box (transparent around
// it), or none when the file cannot be read.
struct ThumbnailPicture {
    int id = 0;
    bool ok = false;
    QImage image;
    int imageCount = 0;
};

struct ThumbnailLoaderOptions {
    std::string workerPath; // the velquist-thumbnailer executable
    int boxSide = 36;       // in device-independent pixels
    qreal pixelRatio = 1.0;
    size_t cacheBytes = size_t{8} << 20;
};

// Makes the list's pictures on a thread of its own, which also owns the thumbnail
// source, so the worker process it starts lives exactly as long as that thread. Only the
// latest wish counts: scrolling past a thousand entries asks for the last screen only.
class ThumbnailLoader {
  public:
    // deliver: called on the loader's thread, once per picture, never after the
    // destructor returned.
    using Deliver = std::function<void(ThumbnailPicture)>;

    ThumbnailLoader(ThumbnailLoaderOptions options, Deliver deliver);
    ~ThumbnailLoader();
    ThumbnailLoader(const ThumbnailLoader&) = delete;
    ThumbnailLoader& operator=(const ThumbnailLoader&) = delete;

    // Replaces what is still to do; the first entries come first.
    void Want(std::vector<ThumbnailWanted> wanted);

    // What the loader and its thread share; the thread keeps it alive after the loader.
    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
};

// The thumbnail scaled to fit a square box of side x side pixels, centred in it.
QImage FitIntoBox(const QImage& source, int side);

} // namespace velquist
