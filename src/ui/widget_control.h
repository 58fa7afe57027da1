#pragma once

#include "ui/control.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace velquist::ui {

// The facade over a real widget. It is a QObject child of its widget, so it
// lives exactly as long as the widget does.
class WidgetControl : public QObject, public CControlUI {
    Q_OBJECT
  public:
    // The facade of a widget, made on first use; null for null.
    static CControlUI* For(QWidget* widget);

    explicit WidgetControl(QWidget* widget);

    QString GetClass() const override;
    QString GetName() const override;
    void SetName(const QString& name) override;
    QString GetText() const override;
    void SetText(const QString& text) override;
    int GetTag() const override;
    void SetTag(int tag) override;
    bool IsVisible() const override;
    void SetVisible(bool visible = true) override;
    bool IsEnabled() const override;
    void SetEnabled(bool enabled = true) override;
    bool IsMouseEnabled() const override;
    void SetMouseEnabled(bool enabled = true) override;
    void SetToolTip(const QString& text) override;
    QString GetToolTip() const override;
    void SetFocus() override;
    bool IsFocused() const override;
    QRect GetPos() const override;
    bool GetCheck() const override;
    void SetCheck(bool check, bool triggerEvent = true) override;
    bool SelectItem(int index, bool takeFocus = false, bool triggerEvent = true) override;
    int GetCurSel() const override;
    void SetValue(int value) override;
    int GetValue() const override;
    void SetMinValue(int value) override;
    void SetMaxValue(int value) override;
    void SetTextColor(DWORD argb) override;
    CControlUI* FindSubControl(const QString& name) override;
    bool Add(CControlUI* child) override;
    bool AddAt(CControlUI* child, int index) override;
    bool Remove(CControlUI* child) override;
    void RemoveAll() override;
    int GetCount() const override;
    CControlUI* GetItemAt(int index) const override;
    int GetItemIndex(CControlUI* child) const override;
    QWidget* GetWidget() const override { return widget_; }

  protected:
    QWidget* widget_;
};

// Finds a widget named `name` (letter case ignored) in root's subtree, root
// included; tree order, first match wins.
QWidget* FindNamedWidget(QWidget* root, const QString& name);

} // namespace velquist::ui
