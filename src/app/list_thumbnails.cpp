#include "list_thumbnails.h"

#include "ui/list_model.h"
#include "ui/row_template.h"
#include "ui/template_list.h"

#include <QCoreApplication>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace velquist {
namespace {

ui::RowPart* PartOf(ui::CControlUI* entry, const char* name) {
    if (entry == nullptr) {
        return nullptr;
    }
    return dynamic_cast<ui::RowPart*>(entry->FindSubControl(QLatin1String(name)));
}

int BoxSide(ui::TemplateListView* view) {
    ui::RowTemplate* tmpl = view->Template();
    const int part =
        tmpl != nullptr ? tmpl->PartIndex(QLatin1String(ListThumbnails::kPicturePart)) : -1;
    if (part < 0) {
        return 36;
    }
    const QWidget* widget = tmpl->Parts()[static_cast<size_t>(part)].widget;
    return std::max(8, std::max(widget->minimumWidth(), widget->minimumHeight()));
}

} // namespace

ListThumbnails::ListThumbnails(ui::TemplateListView* view, const std::string& workerPath,
                               EntryOf entryOf, PathOf pathOf)
    : view_(view), entryOf_(std::move(entryOf)), pathOf_(std::move(pathOf)), side_(BoxSide(view)) {
    const qreal ratio = view->devicePixelRatioF();
    broken_ = BrokenMark(side_, ratio);
    ThumbnailLoaderOptions options;
    options.workerPath = workerPath;
    options.boxSide = side_;
    options.pixelRatio = ratio;
    // Runs on the loader's thread; never after loader_ is gone, which happens before
    // this object is. A queued call to an object that is gone is dropped.
    loader_ = std::make_unique<ThumbnailLoader>(options, [this](ThumbnailPicture picture) {
        QMetaObject::invokeMethod(
            this, [this, picture = std::move(picture)] { Show(picture); }, Qt::QueuedConnection);
    });
    connect(view, &ui::TemplateListView::VisibleRowsChanged, this, &ListThumbnails::Ask);
}

ListThumbnails::~ListThumbnails() {
    loader_.reset();
}

QString ListThumbnails::CountText(int imageCount) {
    return imageCount > 1 ? QCoreApplication::translate("Velquist", "%1 张").arg(imageCount)
                          : QString();
}

QPixmap ListThumbnails::BrokenMark(int side, qreal ratio) {
    const int pixels = std::max(1, static_cast<int>(std::ceil(side * ratio)));
    QPixmap mark(pixels, pixels);
    mark.setDevicePixelRatio(ratio);
    mark.fill(Qt::transparent);
    QPainter painter(&mark);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(1.5, 3.5, side - 3.0, side - 7.0);
    painter.setPen(QPen(QColor(0x9a, 0xa0, 0xa8), 1.5));
    painter.setBrush(QColor(0xf1, 0xf3, 0xf5));
    painter.drawRoundedRect(frame, 3, 3);
    // A torn picture: the frame split by a jagged line.
    QPainterPath tear;
    const qreal x = frame.center().x();
    tear.moveTo(x + 2, frame.top());
    tear.lineTo(x - 3, frame.top() + frame.height() * 0.35);
    tear.lineTo(x + 3, frame.top() + frame.height() * 0.6);
    tear.lineTo(x - 2, frame.bottom());
    painter.setPen(QPen(QColor(0xd9, 0x48, 0x3b), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tear);
    return mark;
}

void ListThumbnails::Ask() {
    int first = 0;
    int last = 0;
    if (view_ == nullptr || !view_->VisibleRows(&first, &last)) {
        return;
    }
    ui::ListModel* model = view_->Model();
    const int page = last - first + 1;
    std::vector<int> rows;
    for (int r = first; r <= last + page; ++r) {
        rows.push_back(r);
    }
    for (int r = first - 1; r >= first - page; --r) {
        rows.push_back(r);
    }
    std::unordered_set<int> near;
    std::vector<ThumbnailWanted> wanted;
    for (const int r : rows) {
        ui::ListRow* row = model->At(r);
        if (row == nullptr || view_->isRowHidden(r)) {
            continue;
        }
        const int id = row->GetTag();
        near.insert(id);
        const ui::RowPart* part = PartOf(row, kPicturePart);
        if (part == nullptr || part->Image() != nullptr) {
            continue;
        }
        std::string path = pathOf_(id);
        if (!path.empty()) {
            wanted.push_back({id, std::move(path)});
        }
    }
    loader_->Want(std::move(wanted));
    ForgetFarPictures(near);
}

void ListThumbnails::Show(const ThumbnailPicture& picture) {
    ++received_;
    ui::CControlUI* entry = entryOf_(picture.id);
    ui::RowPart* part = PartOf(entry, kPicturePart);
    if (part == nullptr) {
        return;
    }
    if (part->Image() == nullptr) {
        held_.push_back(picture.id);
    }
    part->SetImage(picture.ok ? QPixmap::fromImage(picture.image) : broken_);
    if (ui::RowPart* count = PartOf(entry, kCountPart)) {
        const QString text = CountText(picture.imageCount);
        count->SetText(text);
        count->SetVisible(!text.isEmpty());
    }
}

void ListThumbnails::ForgetFarPictures(const std::unordered_set<int>& near) {
    for (size_t looked = held_.size();
         looked > 0 && held_.size() > static_cast<size_t>(kKeptPictures); --looked) {
        const int id = held_.front();
        held_.pop_front();
        if (near.count(id) != 0) {
            held_.push_back(id);
            continue;
        }
        if (ui::RowPart* part = PartOf(entryOf_(id), kPicturePart)) {
            part->SetImage(QPixmap());
        }
    }
}

} // namespace velquist
