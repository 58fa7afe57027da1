#include "ui/list_model.h"

#include "ui/notifier.h"
#include "ui/notify.h"
#include "ui/row_template.h"
#include "ui/template_list.h"

#include <QStringList>
#include <QTimer>
#include <algorithm>

namespace velquist::ui {

// --- RowPart ---------------------------------------------------------------

void RowPart::Init(ListRow* row, int index) {
    row_ = row;
    index_ = index;
    const PartSpec& spec = row->Template()->Parts()[static_cast<size_t>(index)];
    text_ = spec.text;
    visible_ = spec.visible;
    checked_ = spec.checked;
    enabled_ = spec.enabled;
}

QString RowPart::GetClass() const {
    return row_->Template()->Parts()[static_cast<size_t>(index_)].className;
}

QString RowPart::GetName() const {
    return row_->Template()->Parts()[static_cast<size_t>(index_)].name;
}

void RowPart::SetText(const QString& text) {
    text_ = text;
    if (TemplateListView* view = row_->View()) {
        view->PartChanged();
    }
}

void RowPart::SetImage(const QPixmap& image) {
    if (image.isNull()) {
        image_.reset();
    } else {
        image_ = std::make_unique<QPixmap>(image);
    }
    if (TemplateListView* view = row_->View()) {
        view->PartChanged();
    }
}

void RowPart::SetVisible(bool visible) {
    visible_ = visible;
    if (TemplateListView* view = row_->View()) {
        view->PartChanged();
    }
}

void RowPart::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (TemplateListView* view = row_->View()) {
        view->PartChanged();
    }
}

QRect RowPart::GetPos() const {
    const QRect rowRect = row_->GetPos();
    if (rowRect.isEmpty()) {
        return {};
    }
    return row_->Template()->PartRect(index_, rowRect.width(), *row_).translated(rowRect.topLeft());
}

void RowPart::SetCheck(bool check, bool triggerEvent) {
    const PartSpec& spec = row_->Template()->Parts()[static_cast<size_t>(index_)];
    if (!spec.checkable || checked_ == check) {
        return;
    }
    checked_ = check;
    TemplateListView* view = row_->View();
    if (view == nullptr) {
        return;
    }
    view->PartChanged();
    if (triggerEvent) {
        SendNotifyFrom(view, kNotifySelectChanged, this, view->FallbackWindow());
    }
}

// --- ListRow ---------------------------------------------------------------

ListRow::ListRow(TemplateListView* view, RowTemplate* tmpl)
    : view_(view), tmpl_(tmpl), partCount_(static_cast<int>(tmpl->Parts().size())),
      parts_(std::make_unique<RowPart[]>(tmpl->Parts().size())) {
    for (int i = 0; i < partCount_; ++i) {
        parts_[static_cast<size_t>(i)].Init(this, i);
    }
}

void ListRow::SetName(const QString& name) {
    const QString old = name_;
    name_ = name;
    if (view_ != nullptr) {
        view_->Model()->Renamed(this, old, name);
    }
}

void ListRow::SetVisible(bool visible) {
    if (visible_ == visible) {
        return;
    }
    visible_ = visible;
    if (view_ != nullptr) {
        view_->RowVisibilityChanged(this);
    }
}

QRect ListRow::GetPos() const {
    if (view_ == nullptr) {
        return {};
    }
    view_->Model()->Flush();
    const int index = view_->Model()->IndexOf(this);
    const QRect r = view_->visualRect(view_->Model()->index(index));
    if (!r.isValid()) {
        return {};
    }
    QWidget* top = view_->window();
    return QRect(view_->viewport()->mapTo(top, r.topLeft()), r.size());
}

CControlUI* ListRow::FindSubControl(const QString& name) {
    const int index = tmpl_->PartIndex(name);
    return index < 0 ? nullptr : &parts_[static_cast<size_t>(index)];
}

CControlUI* ListRow::GetItemAt(int index) const {
    if (index < 0 || index >= partCount_) {
        return nullptr;
    }
    return &parts_[static_cast<size_t>(index)];
}

int ListRow::GetItemIndex(CControlUI* child) const {
    for (int i = 0; i < partCount_; ++i) {
        if (&parts_[static_cast<size_t>(i)] == child) {
            return i;
        }
    }
    return -1;
}

QString ListRow::AccessibleText() const {
    QStringList texts;
    for (int i = 0; i < partCount_; ++i) {
        const RowPart& part = parts_[static_cast<size_t>(i)];
        if (part.IsVisible() && !part.GetText().isEmpty() &&
            part.GetClass() == QLatin1String("Label")) {
            texts << part.GetText();
        }
    }
    return texts.join(QStringLiteral(", "));
}

// --- ListModel -------------------------------------------------------------

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : published_;
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    const ListRow* row = At(index.row());
    if (row == nullptr) {
        return {};
    }
    if (role == Qt::AccessibleTextRole) {
        return row->AccessibleText();
    }
    return role == Qt::DisplayRole ? QVariant(row->GetName()) : QVariant();
}

ListRow* ListModel::Append(std::unique_ptr<ListRow> row) {
    // Appends reach the view in one batch per event-loop pass: telling it of
    // every row on its own costs the view a timer restart each, which adds up
    // to a large share of the time for thousands of files.
    ListRow* raw = row.get();
    rows_.push_back(std::move(row));
    if (!raw->GetName().isEmpty()) {
        Renamed(raw, QString(), raw->GetName());
    }
    if (!flushPending_) {
        flushPending_ = true;
        QTimer::singleShot(0, this, [this] { Flush(); });
    }
    return raw;
}

bool ListModel::Move(int from, int to) {
    Flush();
    if (from < 0 || from >= Count() || to < 0 || to >= Count()) {
        return false;
    }
    if (from == to) {
        return true;
    }
    beginMoveRows(QModelIndex(), from, from, QModelIndex(), to > from ? to + 1 : to);
    std::unique_ptr<ListRow> row = std::move(rows_[static_cast<size_t>(from)]);
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, std::move(row));
    endMoveRows();
    return true;
}

void ListModel::Flush() {
    flushPending_ = false;
    const int total = static_cast<int>(rows_.size());
    if (published_ >= total) {
        return;
    }
    beginInsertRows(QModelIndex(), published_, total - 1);
    published_ = total;
    endInsertRows();
}

ListRow* ListModel::AddAt(std::unique_ptr<ListRow> row, int index) {
    Flush();
    index = std::clamp(index, 0, Count());
    ListRow* raw = row.get();
    beginInsertRows(QModelIndex(), index, index);
    rows_.insert(rows_.begin() + index, std::move(row));
    ++published_;
    endInsertRows();
    if (!raw->GetName().isEmpty()) {
        Renamed(raw, QString(), raw->GetName());
    }
    return raw;
}

bool ListModel::Remove(ListRow* row) {
    Flush();
    const int index = IndexOf(row);
    if (index < 0) {
        return false;
    }
    beginRemoveRows(QModelIndex(), index, index);
    std::unique_ptr<ListRow> taken = std::move(rows_[static_cast<size_t>(index)]);
    rows_.erase(rows_.begin() + index);
    --published_;
    endRemoveRows();
    Renamed(taken.get(), taken->GetName(), QString());
    Bury(std::move(taken));
    return true;
}

void ListModel::RemoveAll() {
    if (rows_.empty()) {
        return;
    }
    beginResetModel();
    std::vector<std::unique_ptr<ListRow>> taken;
    taken.swap(rows_);
    published_ = 0;
    byName_.clear();
    nameCounts_.clear();
    endResetModel();
    for (auto& row : taken) {
        Bury(std::move(row));
    }
}

void ListModel::Bury(std::unique_ptr<ListRow> row) {
    row->Detach();
    const bool first = graveyard_.empty();
    graveyard_.push_back(std::move(row));
    if (first) {
        QTimer::singleShot(0, this, [this] { graveyard_.clear(); });
    }
}

ListRow* ListModel::At(int index) const {
    if (index < 0 || index >= Count()) {
        return nullptr;
    }
    return rows_[static_cast<size_t>(index)].get();
}

int ListModel::IndexOf(const ListRow* row) const {
    if (row == nullptr) {
        return -1;
    }
    // Recently added entries are the usual target; search from the end.
    for (int i = Count() - 1; i >= 0; --i) {
        if (rows_[static_cast<size_t>(i)].get() == row) {
            return i;
        }
    }
    return -1;
}

ListRow* ListModel::FindByName(const QString& name) const {
    return byName_.value(name.toLower(), nullptr);
}

void ListModel::Renamed(ListRow* row, const QString& oldName, const QString& newName) {
    if (!oldName.isEmpty()) {
        const QString key = oldName.toLower();
        const int left = --nameCounts_[key];
        if (left <= 0) {
            nameCounts_.remove(key);
            byName_.remove(key);
        } else if (byName_.value(key) == row) {
            // Another entry of the same name takes over, as a fresh search would.
            byName_.remove(key);
            for (const auto& other : rows_) {
                if (other.get() != row && other->GetName().toLower() == key) {
                    byName_.insert(key, other.get());
                    break;
                }
            }
        }
    }
    if (newName.isEmpty() || row->View() == nullptr) {
        return;
    }
    const QString key = newName.toLower();
    ++nameCounts_[key];
    ListRow* current = byName_.value(key, nullptr);
    if (current == nullptr || IndexOf(current) > IndexOf(row)) {
        byName_.insert(key, row);
    }
}

} // namespace velquist::ui
