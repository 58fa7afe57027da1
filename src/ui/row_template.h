#pragma once

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

class QPainter;

namespace velquist::ui {

class ListRow;

// What a named part of an entry is, from the entry skin.
struct PartSpec {
    QString name;
    QString className;         // as CControlUI::GetClass reports it
    QWidget* widget = nullptr; // inside the prototype
    bool clickable = false;
    bool checkable = false;
    // Initial state of a fresh entry.
    QString text;
    QPixmap pixmap; // a label's picture
    bool visible = true;
    bool checked = false;
    bool enabled = true;
};

// The entry skin, loaded once: a prototype widget tree that is never shown
// on screen; painting and hit-testing a row first put the row's part states
// into it.
class RowTemplate {
  public:
    static std::unique_ptr<RowTemplate> Load(const QString& file, QString* error);
    ~RowTemplate();

    const std::vector<PartSpec>& Parts() const { return parts_; }
    int PartIndex(const QString& name) const; // letter case ignored; -1 if absent
    int RowHeight() const { return rowHeight_; }

    void Paint(QPainter* painter, const QRect& rect, const ListRow& row);
    // The clickable part under `pos` (row-relative), or -1.
    int HitTest(const QPoint& pos, int width, const ListRow& row);
    // A part's rectangle, row-relative.
    QRect PartRect(int part, int width, const ListRow& row);

  private:
    RowTemplate() = default;
    void Apply(const ListRow& row, int width);

    std::unique_ptr<QWidget> proto_;
    std::vector<PartSpec> parts_;
    QHash<QString, int> index_;
    QHash<QWidget*, int> byWidget_;
    int rowHeight_ = 24;
    QImage buffer_;
};

} // namespace velquist::ui
