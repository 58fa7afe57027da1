#include "row_delegate.h"

#include "ui/list_model.h"
#include "ui/row_template.h"
#include "ui/template_list.h"

#include <QImage>
#include <QPainter>

namespace velquist {

BufferedRowDelegate::BufferedRowDelegate(ui::TemplateListView* view)
    : QStyledItemDelegate(view), view_(view) {}

void BufferedRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    ui::ListRow* row = view_->Model()->At(index.row());
    ui::RowTemplate* tmpl = view_->Template();
    if (row == nullptr || tmpl == nullptr || option.rect.isEmpty()) {
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    opt.text.clear();
    if (const QWidget* widget = option.widget) {
        widget->style()->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    }
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    QImage buffer((QSizeF(option.rect.size()) * ratio).toSize(),
                  QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(Qt::transparent);
    {
        QPainter bufferPainter(&buffer);
        tmpl->Paint(&bufferPainter, QRect(QPoint(0, 0), option.rect.size()), *row);
    }
    painter->drawImage(option.rect.topLeft(), buffer);
}

QSize BufferedRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                    const QModelIndex& /*index*/) const {
    ui::RowTemplate* tmpl = view_->Template();
    return {option.rect.width(), tmpl == nullptr ? 0 : tmpl->RowHeight()};
}

} // namespace velquist
