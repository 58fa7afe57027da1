#include "ui/template_list.h"

#include "ui/focus_mark.h"
#include "ui/list_model.h"
#include "ui/notifier.h"
#include "ui/notify.h"
#include "ui/row_template.h"
#include "ui/widget_control.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QToolTip>
#include <cstdio>

namespace velquist::ui {
namespace {

// The current entry of a focused list, in the focus mark's colour and shape.
void PaintFocusMark(QPainter* painter, const QRect& rect) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(kFocusMarkColor, 2));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(QRectF(rect).adjusted(2, 2, -2, -2), 4, 4);
    painter->restore();
}

class RowDelegate final : public QStyledItemDelegate {
  public:
    explicit RowDelegate(TemplateListView* view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        ListRow* row = view_->Model()->At(index.row());
        RowTemplate* tmpl = view_->Template();
        if (row == nullptr || tmpl == nullptr) {
            return;
        }
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        opt.text.clear();
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : nullptr;
        if (style != nullptr) {
            style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
        }
        tmpl->Paint(painter, option.rect, *row);
        if ((option.state & QStyle::State_HasFocus) != 0 && view_->hasFocus()) {
            PaintFocusMark(painter, option.rect);
        }
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        RowTemplate* tmpl = view_->Template();
        return QSize(option.rect.width(), tmpl == nullptr ? 0 : tmpl->RowHeight());
    }

  private:
    TemplateListView* view_;
};

} // namespace

TemplateListView::TemplateListView(QWidget* parent)
    : QListView(parent), model_(new ListModel(this)) {
    setModel(model_);
    setItemDelegate(new RowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            &TemplateListView::ScheduleVisibleRowsChanged);
    connect(model_, &QAbstractItemModel::rowsInserted, this,
            &TemplateListView::ScheduleVisibleRowsChanged);
    connect(model_, &QAbstractItemModel::rowsRemoved, this,
            &TemplateListView::ScheduleVisibleRowsChanged);
    connect(model_, &QAbstractItemModel::rowsMoved, this,
            &TemplateListView::ScheduleVisibleRowsChanged);
    connect(model_, &QAbstractItemModel::modelReset, this,
            &TemplateListView::ScheduleVisibleRowsChanged);
}

void TemplateListView::ScheduleVisibleRowsChanged() {
    if (visibleRowsPending_) {
        return;
    }
    visibleRowsPending_ = true;
    QTimer::singleShot(0, this, [this] {
        visibleRowsPending_ = false;
        emit VisibleRowsChanged();
    });
}

bool TemplateListView::VisibleRows(int* first, int* last) const {
    const QRect area = viewport()->rect();
    const QModelIndex top = indexAt(area.topLeft());
    if (!top.isValid() || !isVisible()) {
        return false;
    }
    QModelIndex bottom = indexAt(QPoint(area.left(), area.bottom()));
    *first = top.row();
    *last = bottom.isValid() ? bottom.row() : model_->rowCount() - 1;
    return true;
}

TemplateListView::~TemplateListView() = default;

CControlUI* TemplateListView::Control() {
    return WidgetControl::For(this);
}

RowTemplate* TemplateListView::Template() {
    if (!templateTried_) {
        templateTried_ = true;
        const QString file = property("rowTemplate").toString();
        if (file.isEmpty()) {
            templateError_ = QStringLiteral("list %1 names no rowTemplate").arg(objectName());
        } else {
            template_ = RowTemplate::Load(file, &templateError_);
        }
        if (template_ == nullptr) {
            std::fprintf(stderr, "%s\n", templateError_.toUtf8().constData());
        }
    }
    return template_.get();
}

void TemplateListView::PartChanged() {
    viewport()->update();
}

void TemplateListView::RowVisibilityChanged(ListRow* row) {
    model_->Flush();
    const int index = model_->IndexOf(row);
    if (index >= 0) {
        setRowHidden(index, !row->IsVisible());
    }
}

bool TemplateListView::ClickPart(int row, const QString& partName) {
    ListRow* r = model_->At(row);
    RowTemplate* tmpl = Template();
    if (r == nullptr || tmpl == nullptr) {
        return false;
    }
    const int part = tmpl->PartIndex(partName);
    if (part < 0 || !tmpl->Parts()[static_cast<size_t>(part)].clickable) {
        return false;
    }
    Activate(r, part);
    return true;
}

int TemplateListView::PartAt(const QPoint& viewportPos, int* row) {
    *row = -1;
    const QModelIndex index = indexAt(viewportPos);
    RowTemplate* tmpl = Template();
    ListRow* r = model_->At(index.row());
    if (!index.isValid() || tmpl == nullptr || r == nullptr) {
        return -1;
    }
    *row = index.row();
    const QRect rect = visualRect(index);
    return tmpl->HitTest(viewportPos - rect.topLeft(), rect.width(), *r);
}

void TemplateListView::mousePressEvent(QMouseEvent* e) {
    QListView::mousePressEvent(e);
    pressPart_ = e->button() == Qt::LeftButton ? PartAt(e->position().toPoint(), &pressRow_) : -1;
}

void TemplateListView::mouseReleaseEvent(QMouseEvent* e) {
    QListView::mouseReleaseEvent(e);
    if (e->button() != Qt::LeftButton || pressPart_ < 0) {
        return;
    }
    int row = -1;
    const int part = PartAt(e->position().toPoint(), &row);
    const bool same = row == pressRow_ && part == pressPart_;
    pressPart_ = -1;
    if (same) {
        Activate(model_->At(row), part, viewport()->mapTo(window(), e->position().toPoint()));
    }
}

void TemplateListView::resizeEvent(QResizeEvent* e) {
    QListView::resizeEvent(e);
    viewport()->update();
    ScheduleVisibleRowsChanged();
}

void TemplateListView::showEvent(QShowEvent* e) {
    QListView::showEvent(e);
    ScheduleVisibleRowsChanged();
}

void TemplateListView::Activate(ListRow* row, int part, QPoint mouse) {
    RowPart& p = row->Part(part);
    if (!p.IsVisible() || !p.IsEnabled() || !p.IsMouseEnabled()) {
        return;
    }
    // Same order as a real check box: the state flips, "selectchanged", then
    // "click". Removed entries stay in memory until the next loop pass, so
    // `p` survives a handler that removes its own entry.
    if (Template()->Parts()[static_cast<size_t>(part)].checkable) {
        p.SetCheck(!p.GetCheck(), true);
    }
    SendNotifyFrom(this, kNotifyClick, &p, fallback_, mouse);
}

} // namespace velquist::ui

namespace velquist::ui {

int TemplateListView::CheckPart() {
    RowTemplate* tmpl = Template();
    if (tmpl == nullptr) {
        return -1;
    }
    const auto& parts = tmpl->Parts();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].checkable && parts[i].clickable) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void TemplateListView::keyPressEvent(QKeyEvent* e) {
    const QModelIndex current = currentIndex();
    ListRow* row = current.isValid() ? model_->At(current.row()) : nullptr;
    const bool plain = (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (row == nullptr || !plain || Template() == nullptr) {
        QListView::keyPressEvent(e);
        return;
    }
    int part = -1;
    if (e->key() == Qt::Key_Space) {
        part = CheckPart();
    } else if (e->key() == Qt::Key_Delete) {
        part = Template()->PartIndex(property("deletePart").toString());
    }
    if (part < 0) {
        QListView::keyPressEvent(e);
        return;
    }
    e->accept();
    const QRect rect = visualRect(current);
    Activate(row, part, viewport()->mapTo(window(), rect.center()));
}

} // namespace velquist::ui

namespace velquist::ui {

int TemplateListView::ToolTipPartAt(const QPoint& viewportPos, ListRow** row) {
    const QModelIndex index = indexAt(viewportPos);
    RowTemplate* tmpl = Template();
    *row = index.isValid() ? model_->At(index.row()) : nullptr;
    if (*row == nullptr || tmpl == nullptr) {
        return -1;
    }
    const QRect rect = visualRect(index);
    const QPoint at = viewportPos - rect.topLeft();
    for (int part = 0; part < (*row)->GetCount(); ++part) {
        const RowPart& p = (*row)->Part(part);
        if (p.IsVisible() && !p.GetToolTip().isEmpty() &&
            tmpl->PartRect(part, rect.width(), **row).contains(at)) {
            return part;
        }
    }
    return -1;
}

bool TemplateListView::viewportEvent(QEvent* e) {
    if (e->type() != QEvent::ToolTip) {
        return QListView::viewportEvent(e);
    }
    auto* help = static_cast<QHelpEvent*>(e);
    ListRow* row = nullptr;
    const int part = ToolTipPartAt(help->pos(), &row);
    if (part < 0) {
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    QToolTip::showText(help->globalPos(), row->Part(part).GetToolTip(), viewport());
    return true;
}

} // namespace velquist::ui
