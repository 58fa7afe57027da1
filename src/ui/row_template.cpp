#include "ui/row_template.h"

#include "ui/list_model.h"
#include "ui/skin_loader.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QRadioButton>

namespace velquist::ui {
namespace {

QString ClassOf(const QWidget* w) {
    if (qobject_cast<const QCheckBox*>(w) != nullptr) {
        return QStringLiteral("CheckBox");
    }
    if (qobject_cast<const QRadioButton*>(w) != nullptr) {
        return QStringLiteral("Option");
    }
    if (qobject_cast<const QAbstractButton*>(w) != nullptr) {
        return QStringLiteral("Button");
    }
    if (qobject_cast<const QLabel*>(w) != nullptr) {
        return QStringLiteral("Label");
    }
    return QStringLiteral("Control");
}

QString TextOf(const QWidget* w) {
    if (const auto* b = qobject_cast<const QAbstractButton*>(w)) {
        return b->text();
    }
    if (const auto* l = qobject_cast<const QLabel*>(w)) {
        return l->text();
    }
    return {};
}

void SetTextOf(QWidget* w, const QString& text) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text() != text) {
            b->setText(text);
        }
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        if (l->text() != text) {
            l->setText(text);
        }
    }
}

// Before the text: clearing a picture clears the label's text too.
void SetPixmapOf(QLabel* label, const QPixmap& pixmap) {
    if (label->pixmap().cacheKey() == pixmap.cacheKey()) {
        return;
    }
    if (pixmap.isNull()) {
        label->clear();
    } else {
        label->setPixmap(pixmap);
    }
}

PartSpec SpecOf(QWidget* w) {
    PartSpec spec;
    spec.name = w->objectName();
    spec.className = ClassOf(w);
    spec.widget = w;
    auto* button = qobject_cast<QAbstractButton*>(w);
    spec.clickable = button != nullptr;
    spec.checkable = button != nullptr && button->isCheckable();
    spec.checked = spec.checkable && button->isChecked();
    spec.text = TextOf(w);
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        spec.pixmap = label->pixmap();
    }
    spec.visible = !w->isHidden();
    spec.enabled = w->isEnabled();
    return spec;
}

} // namespace

RowTemplate::~RowTemplate() = default;

std::unique_ptr<RowTemplate> RowTemplate::Load(const QString& file, QString* error) {
    QWidget* root = LoadSkinFile(file, nullptr, error);
    if (root == nullptr) {
        return nullptr;
    }
    std::unique_ptr<RowTemplate> t(new RowTemplate());
    t->proto_.reset(root);
    t->rowHeight_ = root->height() > 0 ? root->height() : root->sizeHint().height();
    const auto children = root->findChildren<QWidget*>();
    for (QWidget* w : children) {
        if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) {
            continue;
        }
        const int index = static_cast<int>(t->parts_.size());
        t->parts_.push_back(SpecOf(w));
        t->index_.insert(w->objectName().toLower(), index); // later duplicates lose
        t->byWidget_.insert(w, index);
    }
    // Recorded the skin's own visibility above; now bring the prototype to
    // life off screen so that layouts and resize events work synchronously.
    root->setAttribute(Qt::WA_DontShowOnScreen);
    root->resize(root->width() > 0 ? root->width() : 400, t->rowHeight_);
    root->show();
    return t;
}

int RowTemplate::PartIndex(const QString& name) const {
    const auto it = index_.constFind(name.toLower());
    if (it == index_.constEnd()) {
        return -1;
    }
    // QHash::insert replaced earlier duplicates; the first in tree order wins.
    for (size_t i = 0; i < parts_.size(); ++i) {
        if (parts_[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return it.value();
}

void RowTemplate::Apply(const ListRow& row, int width) {
    for (int i = 0; i < static_cast<int>(parts_.size()); ++i) {
        const PartSpec& spec = parts_[static_cast<size_t>(i)];
        QWidget* w = spec.widget;
        const RowPart& p = row.Part(i);
        auto* label = qobject_cast<QLabel*>(w);
        if (label != nullptr) {
            SetPixmapOf(label, p.Image() != nullptr ? *p.Image() : spec.pixmap);
        }
        // A label shows a picture or a text; setting the text would drop the picture.
        if (label == nullptr || p.Image() == nullptr) {
            SetTextOf(w, p.GetText());
        }
        if (w->isHidden() == p.IsVisible()) {
            w->setVisible(p.IsVisible());
        }
        if (w->isEnabled() != p.IsEnabled()) {
            w->setEnabled(p.IsEnabled());
        }
        if (parts_[static_cast<size_t>(i)].checkable) {
            auto* b = static_cast<QAbstractButton*>(w);
            if (b->isChecked() != p.GetCheck()) {
                b->setChecked(p.GetCheck());
            }
        }
    }
    if (proto_->width() != width || proto_->height() != rowHeight_) {
        proto_->resize(width, rowHeight_);
    }
    if (QLayout* layout = proto_->layout()) {
        layout->activate();
    }
}

void RowTemplate::Paint(QPainter* painter, const QRect& rect, const ListRow& row) {
    if (rect.isEmpty()) {
        return;
    }
    Apply(row, rect.width());
    // Rendering straight into the list's painter goes wrong when that painter
    // is the window's shared one (the list is then painted as part of its
    // window): the row lands relative to the window, not the list. A private
    // image has no such offset; one buffer serves every row.
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    const QSize pixels = (QSizeF(rect.size()) * ratio).toSize();
    if (buffer_.size() != pixels) {
        buffer_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    }
    buffer_.setDevicePixelRatio(ratio);
    buffer_.fill(Qt::transparent);
    {
        QPainter into(&buffer_);
        proto_->render(&into, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
    }
    painter->drawImage(rect.topLeft(), buffer_);
}

int RowTemplate::HitTest(const QPoint& pos, int width, const ListRow& row) {
    Apply(row, width);
    for (QWidget* w = proto_->childAt(pos); w != nullptr && w != proto_.get();
         w = w->parentWidget()) {
        const auto it = byWidget_.constFind(w);
        if (it == byWidget_.constEnd() || !parts_[static_cast<size_t>(it.value())].clickable) {
            continue;
        }
        return it.value();
    }
    return -1;
}

QRect RowTemplate::PartRect(int part, int width, const ListRow& row) {
    if (part < 0 || part >= static_cast<int>(parts_.size())) {
        return {};
    }
    Apply(row, width);
    QWidget* w = parts_[static_cast<size_t>(part)].widget;
    if (w->isHidden()) {
        return {};
    }
    return QRect(w->mapTo(proto_.get(), QPoint(0, 0)), w->size());
}

} // namespace velquist::ui
