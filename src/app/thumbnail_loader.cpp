#include "thumbnail_loader.h"

#include "thumbs/thumbnail_source.h"

#include <QPainter>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace velquist {

struct ThumbnailLoader::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable ended;
    std::deque<ThumbnailWanted> todo;
    Deliver deliver; // cleared when the loader goes
    bool stop = false;
    bool finished = false;
};

namespace {

// A loader that goes while a hostile file keeps the worker busy must not hold up the
// window; the thread then ends on its own after that file's time limit.
constexpr std::chrono::milliseconds kJoinWait{300};

QImage ToImage(const Thumbnail& thumbnail) {
    if (thumbnail.width <= 0 || thumbnail.height <= 0 ||
        thumbnail.rgba.size() < static_cast<size_t>(thumbnail.width) * thumbnail.height * 4) {
        return {};
    }
    // Wraps the pixels only as long as the copy below needs them.
    const QImage view(thumbnail.rgba.data(), thumbnail.width, thumbnail.height, thumbnail.width * 4,
                      QImage::Format_RGBA8888);
    return view.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

ThumbnailPicture MakePicture(const ThumbnailWanted& wanted, const ThumbnailResult& result, int side,
                             qreal ratio) {
    ThumbnailPicture picture;
    picture.id = wanted.id;
    picture.imageCount = result.thumbnail.imageCount;
    if (!result.ok) {
        return picture;
    }
    picture.image = FitIntoBox(ToImage(result.thumbnail), side);
    picture.image.setDevicePixelRatio(ratio);
    picture.ok = !picture.image.isNull();
    return picture;
}

void Run(std::shared_ptr<ThumbnailLoader::Shared> shared, ThumbnailLoaderOptions options) {
    const int side = std::max(1, static_cast<int>(std::ceil(options.boxSide * options.pixelRatio)));
    ThumbnailClientOptions client;
    client.workerPath = options.workerPath;
    client.maxSide = side;
    ThumbnailCacheLimits limits;
    limits.maxBytes = options.cacheBytes;
    // Made here: the worker it starts is tied to this thread.
    ThumbnailSource source(client, limits);
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->stop || !shared->todo.empty(); });
        if (shared->stop) {
            break;
        }
        const ThumbnailWanted wanted = std::move(shared->todo.front());
        shared->todo.pop_front();
        lock.unlock();
        const auto result = source.Get(wanted.path);
        ThumbnailPicture picture = MakePicture(wanted, *result, side, options.pixelRatio);
        lock.lock();
        if (shared->deliver) {
            shared->deliver(std::move(picture));
        }
    }
    shared->finished = true;
    shared->ended.notify_all();
}

} // namespace

QImage FitIntoBox(const QImage& source, int side) {
    if (source.isNull() || side <= 0) {
        return {};
    }
    const QImage scaled =
        source.width() <= side && source.height() <= side
            ? source
            : source.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage box(side, side, QImage::Format_ARGB32_Premultiplied);
    box.fill(Qt::transparent);
    QPainter painter(&box);
    painter.drawImage((side - scaled.width()) / 2, (side - scaled.height()) / 2, scaled);
    return box;
}

ThumbnailLoader::ThumbnailLoader(ThumbnailLoaderOptions options, Deliver deliver)
    : shared_(std::make_shared<Shared>()) {
    shared_->deliver = std::move(deliver);
    std::thread(Run, shared_, std::move(options)).detach();
}

ThumbnailLoader::~ThumbnailLoader() {
    std::unique_lock lock(shared_->mutex);
    shared_->stop = true;
    shared_->deliver = nullptr;
    shared_->todo.clear();
    shared_->wake.notify_all();
    shared_->ended.wait_for(lock, kJoinWait, [this] { return shared_->finished; });
}

void ThumbnailLoader::Want(std::vector<ThumbnailWanted> wanted) {
    std::lock_guard lock(shared_->mutex);
    shared_->todo.assign(std::make_move_iterator(wanted.begin()),
                         std::make_move_iterator(wanted.end()));
    shared_->wake.notify_all();
}

} // namespace velquist
