#pragma once

#include <QStyledItemDelegate>

namespace velquist::ui {
class TemplateListView;
}

namespace velquist {

// Paints the image list's entries through an off-screen image. Rendering the
// entry skin straight into the list's painter places the entry relative to
// the window instead of the list as soon as the list is not at the window's
// top-left corner.
class BufferedRowDelegate final : public QStyledItemDelegate {
  public:
    explicit BufferedRowDelegate(ui::TemplateListView* view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    ui::TemplateListView* view_;
};

} // namespace velquist
