#pragma once

#include "thumbnail_loader.h"

#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

namespace velquist {

namespace ui {
class CControlUI;
class TemplateListView;
} // namespace ui

// Puts a picture of each photo into the list's entries that are on screen or about to
// be, from a ThumbnailLoader, and takes the pictures of far-away entries out again so
// that a long list holds a bounded number of them. A file that cannot be read gets a
// broken-image mark; a file of several images shows how many ("3 张").
class ListThumbnails final : public QObject {
    Q_OBJECT
  public:
    // The entry with this id (null when it is gone) and its path as bytes.
    using EntryOf = std::function<ui::CControlUI*(int id)>;
    using PathOf = std::function<std::string(int id)>;

    // Part names of the entry skin.
    static constexpr const char* kPicturePart = "fileIcon";
    static constexpr const char* kCountPart = "imageCount";
    // Entries kept with a picture beyond those near the screen.
    static constexpr int kKeptPictures = 300;

    ListThumbnails(ui::TemplateListView* view, const std::string& workerPath, EntryOf entryOf,
                   PathOf pathOf);
    ~ListThumbnails() override;

    // Pictures received so far (tests, benchmarks).
    int Received() const { return received_; }
    int PicturesHeld() const { return static_cast<int>(held_.size()); }

    // "N 张" for a file of N > 1 images, else empty.
    static QString CountText(int imageCount);
    // The mark of a file that cannot be read, side x side (device-independent) pixels.
    static QPixmap BrokenMark(int side, qreal ratio);

  private:
    void Ask();
    void Show(const ThumbnailPicture& picture);
    void ForgetFarPictures(const std::unordered_set<int>& near);

    QPointer<ui::TemplateListView> view_;
    EntryOf entryOf_;
    PathOf pathOf_;
    int side_ = 36;
    QPixmap broken_;
    std::unique_ptr<ThumbnailLoader> loader_;
    std::deque<int> held_; // entries given a picture, oldest first
    std::unordered_set<int> asked_;
    int received_ = 0;
};

} // namespace velquist
