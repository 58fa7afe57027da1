#pragma once

#include "ui/control.h"

#include <QAbstractListModel>
#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <memory>
#include <vector>

namespace velquist::ui {

class ListRow;
class RowTemplate;
class TemplateListView;

// A named part of one entry. It holds the part's state; the list paints it.
class RowPart final : public CControlUI {
  public:
    RowPart() = default;

    QString GetClass() const override;
    QString GetName() const override;
    void SetName(const QString&) override {} // names come from the entry skin
    QString GetText() const override { return text_; }
    void SetText(const QString& text) override;
    int GetTag() const override { return tag_; }
    void SetTag(int tag) override { tag_ = tag; }
    bool IsVisible() const override { return visible_; }
    void SetVisible(bool visible = true) override;
    bool IsEnabled() const override { return enabled_; }
    void SetEnabled(bool enabled = true) override;
    bool IsMouseEnabled() const override { return mouse_; }
    void SetMouseEnabled(bool enabled = true) override { mouse_ = enabled; }
    QRect GetPos() const override;
    bool GetCheck() const override { return checked_; }
    void SetCheck(bool check, bool triggerEvent = true) override;
    // Shown by the list when the pointer rests on the part.
    void SetToolTip(const QString& text) override { toolTip_ = text; }
    QString GetToolTip() const override { return toolTip_; }
    // A picture of this entry's own in place of the one the entry skin gives the part
    // (a label); a null pixmap brings the skin's back. Only rows on screen or near it
    // should hold one: a long list cannot keep a picture per entry.
    void SetImage(const QPixmap& image);
    const QPixmap* Image() const { return image_.get(); }

    void Init(ListRow* row, int index);
    int Index() const { return index_; }
    ListRow* Row() const { return row_; }

  private:
    ListRow* row_ = nullptr;
    QString text_;
    QString toolTip_;
    std::unique_ptr<QPixmap> image_; // a pointer: most parts of most rows have none
    int tag_ = 0;
    int index_ = 0;
    bool visible_ = true;
    bool enabled_ = true;
    bool mouse_ = true;
    bool checked_ = false;
};

// One entry of a long list.
class ListRow final : public CControlUI {
  public:
    ListRow(TemplateListView* view, RowTemplate* tmpl);

    QString GetClass() const override { return QStringLiteral("ListItem"); }
    QString GetName() const override { return name_; }
    void SetName(const QString& name) override;
    QString GetText() const override { return {}; }
    void SetText(const QString&) override {}
    int GetTag() const override { return tag_; }
    void SetTag(int tag) override { tag_ = tag; }
    bool IsVisible() const override { return visible_; }
    void SetVisible(bool visible = true) override;
    QRect GetPos() const override;
    CControlUI* FindSubControl(const QString& name) override;
    int GetCount() const override { return partCount_; }
    CControlUI* GetItemAt(int index) const override;
    int GetItemIndex(CControlUI* child) const override;
    // What a screen reader says for the entry: the texts its visible labels show
    // (the file's name, its status, a note), never the entry's internal name.
    QString AccessibleText() const;

    RowPart& Part(int index) const { return parts_[static_cast<size_t>(index)]; }
    TemplateListView* View() const { return view_; }
    RowTemplate* Template() const { return tmpl_; }
    void Detach() { view_ = nullptr; }

  private:
    TemplateListView* view_;
    RowTemplate* tmpl_;
    QString name_;
    int tag_ = 0;
    int partCount_ = 0;
    bool visible_ = true;
    std::unique_ptr<RowPart[]> parts_;
};

class ListModel final : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit ListModel(QObject* parent) : QAbstractListModel(parent) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    ListRow* Append(std::unique_ptr<ListRow> row);
    ListRow* AddAt(std::unique_ptr<ListRow> row, int index);
    // Takes the row out at once; its memory goes on the next loop pass, so a
    // part may remove its own entry from inside its click notification.
    bool Remove(ListRow* row);
    bool Move(int from, int to);
    void RemoveAll();
    int Count() const { return static_cast<int>(rows_.size()); }
    ListRow* At(int index) const;
    int IndexOf(const ListRow* row) const;
    ListRow* FindByName(const QString& name) const;
    void Renamed(ListRow* row, const QString& oldName, const QString& newName);
    // Tells the view of appended rows now rather than on the next loop pass;
    // whatever needs the view's row numbers calls it first.
    void Flush();

  private:
    void Bury(std::unique_ptr<ListRow> row);

    std::vector<std::unique_ptr<ListRow>> rows_;
    QHash<QString, ListRow*> byName_; // lower-cased name -> first row so named
    QHash<QString, int> nameCounts_;
    int published_ = 0; // rows the view knows of; the rest are appended since
    bool flushPending_ = false;
    std::vector<std::unique_ptr<ListRow>> graveyard_;
};

} // namespace velquist::ui
