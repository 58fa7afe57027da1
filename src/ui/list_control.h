#pragma once

#include "ui/widget_control.h"

namespace velquist::ui {

class TemplateListView;

// The facade of a long list: its children are the list's entries.
class ListControl final : public WidgetControl {
    Q_OBJECT
  public:
    explicit ListControl(TemplateListView* view);

    QString GetClass() const override { return QStringLiteral("List"); }
    // Entries by name, letter case ignored.
    CControlUI* FindSubControl(const QString& name) override;
    bool Add(CControlUI* child) override;
    bool AddAt(CControlUI* child, int index) override;
    bool Remove(CControlUI* child) override;
    void RemoveAll() override;
    int GetCount() const override;
    CControlUI* GetItemAt(int index) const override;
    int GetItemIndex(CControlUI* child) const override;
    CControlUI* AddTemplateItem() override;

  private:
    TemplateListView* view_;
};

} // namespace velquist::ui
