#pragma once

#include "ui/ui_defs.h"

#include <QRect>
#include <QString>

class QWidget;

namespace velquist::ui {

// The facade through which windows touch their controls. One interface serves
// every kind; an operation that does not apply to a kind does nothing and
// returns a neutral value (so a label ignores SetCheck and returns false from
// GetCheck). Pointers stay valid while the control exists; removing a control
// from its container ends its life (deferred to the next event-loop pass, so a
// control may remove its own entry from inside a notification).
//
// Controls come in two flavours: real widgets from a skin file, and the parts
// of an entry in a long list (see AddTemplateItem), which are painted by the
// list and have no widget of their own (GetWidget returns null).
class CControlUI {
  public:
    virtual ~CControlUI() = default;
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // "Button", "CheckBox", "Option", "Label", "Edit", "Combo", "Slider",
    // "Progress", "Container", "List", "ListItem" or "Control".
    virtual QString GetClass() const = 0;

    virtual QString GetName() const = 0;
    virtual void SetName(const QString& name) = 0;
    virtual QString GetText() const = 0;
    virtual void SetText(const QString& text) = 0;
    virtual int GetTag() const = 0;
    virtual void SetTag(int tag) = 0;

    virtual bool IsVisible() const = 0;
    virtual void SetVisible(bool visible = true) = 0;
    virtual bool IsEnabled() const { return true; }
    virtual void SetEnabled(bool /*enabled*/ = true) {}
    virtual bool IsMouseEnabled() const { return true; }
    virtual void SetMouseEnabled(bool /*enabled*/ = true) {}
    // The text shown while the pointer rests on the control; read by screen
    // readers as its description.
    virtual void SetToolTip(const QString& /*text*/) {}
    virtual QString GetToolTip() const { return {}; }
    virtual void SetFocus() {}
    virtual bool IsFocused() const { return false; }

    // Position in the owning window's client area (DuiLib's GetPos/GetClientPos).
    virtual QRect GetPos() const { return {}; }
    int GetWidth() const { return GetPos().width(); }
    int GetHeight() const { return GetPos().height(); }

    // Check boxes and radio buttons. SetCheck sends "selectchanged" when the
    // state changes and triggerEvent is true.
    virtual bool GetCheck() const { return false; }
    virtual void SetCheck(bool /*check*/, bool /*triggerEvent*/ = true) {}

    // Combo boxes: GetText is the current text. SelectItem never takes the focus
    // unless asked to; it sends "itemselect" when triggerEvent is true and the
    // selection changes. Returns false for an index out of range.
    virtual bool SelectItem(int /*index*/, bool /*takeFocus*/ = false,
                            bool /*triggerEvent*/ = true) {
        return false;
    }
    virtual int GetCurSel() const { return -1; }

    // Sliders and progress bars.
    virtual void SetValue(int /*value*/) {}
    virtual int GetValue() const { return 0; }
    virtual void SetMinValue(int /*value*/) {}
    virtual void SetMaxValue(int /*value*/) {}

    // Label text colour, 0xAARRGGBB.
    virtual void SetTextColor(DWORD /*argb*/) {}

    // Containers: children in order. FindSubControl searches the whole subtree
    // and ignores letter case; null when absent. Remove ends the child's life.
    virtual CControlUI* FindSubControl(const QString& /*name*/) { return nullptr; }
    virtual bool Add(CControlUI* /*child*/) { return false; }
    virtual bool AddAt(CControlUI* /*child*/, int /*index*/) { return false; }
    virtual bool Remove(CControlUI* /*child*/) { return false; }
    virtual void RemoveAll() {}
    virtual int GetCount() const { return 0; }
    virtual CControlUI* GetItemAt(int /*index*/) const { return nullptr; }
    virtual int GetItemIndex(CControlUI* /*child*/) const { return -1; }

    // Long lists only: builds a new entry from the list's entry template
    // (the skin property rowTemplate), appends it and returns it. The entry's
    // named parts are reached with FindSubControl and behave like controls;
    // their clicks become notifications to the window with the part as sender.
    virtual CControlUI* AddTemplateItem() { return nullptr; }

    // The widget behind a control; null for the parts of a long list's entry.
    virtual QWidget* GetWidget() const { return nullptr; }

  protected:
    CControlUI() = default;
};

// The library's class names, for code that reads like the windows' own.
using CButtonUI = CControlUI;
using CCheckBoxUI = CControlUI;
using COptionUI = CControlUI;
using CLabelUI = CControlUI;
using CTextUI = CControlUI;
using CEditUI = CControlUI;
using CComboUI = CControlUI;
using CSliderUI = CControlUI;
using CProgressUI = CControlUI;
using CContainerUI = CControlUI;
using CHorizontalLayoutUI = CControlUI;
using CVerticalLayoutUI = CControlUI;
using CListUI = CControlUI;
using CListContainerElementUI = CControlUI;

} // namespace velquist::ui
