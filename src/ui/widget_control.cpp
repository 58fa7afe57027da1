#include "ui/widget_control.h"

#include "ui/list_control.h"
#include "ui/notifier.h"
#include "ui/template_list.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QBoxLayout>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTextEdit>
#include <QVariant>

namespace velquist::ui {
namespace {

constexpr const char* kSkinSheetProperty = "_vq_skin_sheet";

// The widget whose children a container control lists: a scroll area lists
// the children of its content.
QWidget* ContentOf(QWidget* w) {
    if (auto* area = qobject_cast<QScrollArea*>(w); area != nullptr && area->widget() != nullptr) {
        return area->widget();
    }
    return w;
}

QLayout* LayoutOf(QWidget* w) {
    return ContentOf(w)->layout();
}

std::vector<QWidget*> ChildWidgets(QWidget* w) {
    std::vector<QWidget*> out;
    QWidget* content = ContentOf(w);
    if (QLayout* layout = content->layout()) {
        for (int i = 0; i < layout->count(); ++i) {
            if (QWidget* child = layout->itemAt(i)->widget()) {
                out.push_back(child);
            }
        }
        return out;
    }
    for (QObject* o : content->children()) {
        if (auto* child = qobject_cast<QWidget*>(o); child != nullptr && !child->isWindow()) {
            out.push_back(child);
        }
    }
    return out;
}

bool IsSkinWidget(const QWidget* w) {
    return !w->objectName().startsWith(QLatin1String("qt_"));
}

} // namespace

QWidget* FindNamedWidget(QWidget* root, const QString& name) {
    if (root == nullptr || name.isEmpty()) {
        return nullptr;
    }
    if (root->objectName().compare(name, Qt::CaseInsensitive) == 0) {
        return root;
    }
    const auto all = root->findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (!w->isWindow() && IsSkinWidget(w) &&
            w->objectName().compare(name, Qt::CaseInsensitive) == 0) {
            return w;
        }
    }
    return nullptr;
}

CControlUI* WidgetControl::For(QWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    if (auto* existing = widget->findChild<WidgetControl*>(QString(), Qt::FindDirectChildrenOnly)) {
        return existing;
    }
    if (auto* list = qobject_cast<TemplateListView*>(widget)) {
        return new ListControl(list);
    }
    return new WidgetControl(widget);
}

WidgetControl::WidgetControl(QWidget* widget) : QObject(widget), widget_(widget) {}

QString WidgetControl::GetClass() const {
    if (qobject_cast<QCheckBox*>(widget_) != nullptr) {
        return QStringLiteral("CheckBox");
    }
    if (qobject_cast<QRadioButton*>(widget_) != nullptr) {
        return QStringLiteral("Option");
    }
    if (qobject_cast<QAbstractButton*>(widget_) != nullptr) {
        return QStringLiteral("Button");
    }
    if (qobject_cast<QLabel*>(widget_) != nullptr) {
        return QStringLiteral("Label");
    }
    if (qobject_cast<QLineEdit*>(widget_) != nullptr ||
        qobject_cast<QTextEdit*>(widget_) != nullptr ||
        qobject_cast<QPlainTextEdit*>(widget_) != nullptr) {
        return QStringLiteral("Edit");
    }
    if (qobject_cast<QComboBox*>(widget_) != nullptr) {
        return QStringLiteral("Combo");
    }
    if (qobject_cast<QAbstractSlider*>(widget_) != nullptr) {
        return QStringLiteral("Slider");
    }
    if (qobject_cast<QProgressBar*>(widget_) != nullptr) {
        return QStringLiteral("Progress");
    }
    if (LayoutOf(widget_) != nullptr) {
        return QStringLiteral("Container");
    }
    return QStringLiteral("Control");
}

QString WidgetControl::GetName() const {
    return widget_->objectName();
}

void WidgetControl::SetName(const QString& name) {
    widget_->setObjectName(name);
}

QString WidgetControl::GetText() const {
    if (auto* b = qobject_cast<QAbstractButton*>(widget_)) {
        return b->text();
    }
    if (auto* l = qobject_cast<QLabel*>(widget_)) {
        return l->text();
    }
    if (auto* e = qobject_cast<QLineEdit*>(widget_)) {
        return e->text();
    }
    if (auto* e = qobject_cast<QTextEdit*>(widget_)) {
        return e->toPlainText();
    }
    if (auto* e = qobject_cast<QPlainTextEdit*>(widget_)) {
        return e->toPlainText();
    }
    if (auto* c = qobject_cast<QComboBox*>(widget_)) {
        return c->currentText();
    }
    if (auto* g = qobject_cast<QGroupBox*>(widget_)) {
        return g->title();
    }
    if (auto* p = qobject_cast<QProgressBar*>(widget_)) {
        return p->text();
    }
    return widget_->windowTitle();
}

void WidgetControl::SetText(const QString& text) {
    if (auto* b = qobject_cast<QAbstractButton*>(widget_)) {
        b->setText(text);
    } else if (auto* l = qobject_cast<QLabel*>(widget_)) {
        l->setText(text);
    } else if (auto* e = qobject_cast<QLineEdit*>(widget_)) {
        e->setText(text);
    } else if (auto* te = qobject_cast<QTextEdit*>(widget_)) {
        te->setPlainText(text);
    } else if (auto* pe = qobject_cast<QPlainTextEdit*>(widget_)) {
        pe->setPlainText(text);
    } else if (auto* c = qobject_cast<QComboBox*>(widget_)) {
        c->setCurrentText(text);
    } else if (auto* g = qobject_cast<QGroupBox*>(widget_)) {
        g->setTitle(text);
    } else {
        widget_->setWindowTitle(text);
    }
}

int WidgetControl::GetTag() const {
    return widget_->property("tag").toInt();
}

void WidgetControl::SetTag(int tag) {
    widget_->setProperty("tag", tag);
}

bool WidgetControl::IsVisible() const {
    return !widget_->isHidden();
}

void WidgetControl::SetVisible(bool visible) {
    widget_->setVisible(visible);
}

bool WidgetControl::IsEnabled() const {
    return widget_->isEnabled();
}

void WidgetControl::SetEnabled(bool enabled) {
    widget_->setEnabled(enabled);
}

bool WidgetControl::IsMouseEnabled() const {
    return !widget_->testAttribute(Qt::WA_TransparentForMouseEvents);
}

void WidgetControl::SetMouseEnabled(bool enabled) {
    widget_->setAttribute(Qt::WA_TransparentForMouseEvents, !enabled);
}

void WidgetControl::SetToolTip(const QString& text) {
    if (QWidget* w = GetWidget()) {
        w->setToolTip(text);
        w->setAccessibleDescription(text);
    }
}

QString WidgetControl::GetToolTip() const {
    QWidget* w = GetWidget();
    return w != nullptr ? w->toolTip() : QString();
}

void WidgetControl::SetFocus() {
    widget_->setFocus(Qt::OtherFocusReason);
}

bool WidgetControl::IsFocused() const {
    return widget_->hasFocus();
}

QRect WidgetControl::GetPos() const {
    QWidget* top = widget_->window();
    if (top == widget_) {
        return QRect(QPoint(0, 0), widget_->size());
    }
    return QRect(widget_->mapTo(top, QPoint(0, 0)), widget_->size());
}

bool WidgetControl::GetCheck() const {
    auto* b = qobject_cast<QAbstractButton*>(widget_);
    return b != nullptr && b->isCheckable() && b->isChecked();
}

void WidgetControl::SetCheck(bool check, bool triggerEvent) {
    auto* b = qobject_cast<QAbstractButton*>(widget_);
    if (b == nullptr || !b->isCheckable()) {
        return;
    }
    const QSignalBlocker blocker(triggerEvent ? nullptr : b);
    b->setChecked(check);
}

bool WidgetControl::SelectItem(int index, bool takeFocus, bool triggerEvent) {
    auto* c = qobject_cast<QComboBox*>(widget_);
    if (c == nullptr || index < 0 || index >= c->count()) {
        return false;
    }
    {
        const QSignalBlocker blocker(triggerEvent ? nullptr : c);
        c->setCurrentIndex(index);
    }
    if (takeFocus) {
        c->setFocus(Qt::OtherFocusReason);
    }
    return true;
}

int WidgetControl::GetCurSel() const {
    auto* c = qobject_cast<QComboBox*>(widget_);
    return c == nullptr ? -1 : c->currentIndex();
}

void WidgetControl::SetValue(int value) {
    if (auto* s = qobject_cast<QAbstractSlider*>(widget_)) {
        s->setValue(value);
    } else if (auto* p = qobject_cast<QProgressBar*>(widget_)) {
        p->setValue(value);
    } else if (auto* sp = qobject_cast<QSpinBox*>(widget_)) {
        sp->setValue(value);
    }
}

int WidgetControl::GetValue() const {
    if (auto* s = qobject_cast<QAbstractSlider*>(widget_)) {
        return s->value();
    }
    if (auto* p = qobject_cast<QProgressBar*>(widget_)) {
        return p->value();
    }
    if (auto* sp = qobject_cast<QSpinBox*>(widget_)) {
        return sp->value();
    }
    return 0;
}

void WidgetControl::SetMinValue(int value) {
    if (auto* s = qobject_cast<QAbstractSlider*>(widget_)) {
        s->setMinimum(value);
    } else if (auto* p = qobject_cast<QProgressBar*>(widget_)) {
        p->setMinimum(value);
    }
}

void WidgetControl::SetMaxValue(int value) {
    if (auto* s = qobject_cast<QAbstractSlider*>(widget_)) {
        s->setMaximum(value);
    } else if (auto* p = qobject_cast<QProgressBar*>(widget_)) {
        p->setMaximum(value);
    }
}

void WidgetControl::SetTextColor(DWORD argb) {
    // The application stylesheet outranks palettes, so the colour goes into
    // the widget's own sheet, after whatever the skin gave it.
    QVariant skinSheet = widget_->property(kSkinSheetProperty);
    if (!skinSheet.isValid()) {
        skinSheet = widget_->styleSheet();
        widget_->setProperty(kSkinSheetProperty, skinSheet);
    }
    const QColor c = QColor::fromRgba(argb);
    const QString colour = QStringLiteral("color: rgba(%1, %2, %3, %4);")
                               .arg(c.red())
                               .arg(c.green())
                               .arg(c.blue())
                               .arg(c.alpha());
    const QString own = skinSheet.toString();
    widget_->setStyleSheet(
        own.isEmpty() ? colour : own + QStringLiteral("\n* { ") + colour + QStringLiteral(" }"));
}

CControlUI* WidgetControl::FindSubControl(const QString& name) {
    QWidget* w = FindNamedWidget(widget_, name);
    return w == nullptr || w == widget_ ? nullptr : For(w);
}

bool WidgetControl::Add(CControlUI* child) {
    return AddAt(child, -1);
}

bool WidgetControl::AddAt(CControlUI* child, int index) {
    QWidget* w = child == nullptr ? nullptr : child->GetWidget();
    auto* layout = qobject_cast<QBoxLayout*>(LayoutOf(widget_));
    if (w == nullptr || layout == nullptr || w == widget_) {
        return false;
    }
    // A never-shown tree from CDialogBuilder is a hidden window; it should
    // appear in the container unless someone hid it on purpose.
    const bool show = !w->testAttribute(Qt::WA_WState_ExplicitShowHide) || !w->isHidden();
    const int widgets = static_cast<int>(ChildWidgets(widget_).size());
    int at = index < 0 || index > widgets ? widgets : index;
    // Map the widget index to a layout slot, keeping a trailing spacer last.
    int slot = 0;
    for (int seen = 0; slot < layout->count(); ++slot) {
        if (layout->itemAt(slot)->widget() == nullptr) {
            continue;
        }
        if (seen++ == at) {
            break;
        }
    }
    if (slot == layout->count() && slot > 0 && layout->itemAt(slot - 1)->spacerItem() != nullptr) {
        --slot;
    }
    layout->insertWidget(slot, w);
    w->setVisible(show);
    return true;
}

bool WidgetControl::Remove(CControlUI* child) {
    QWidget* w = child == nullptr ? nullptr : child->GetWidget();
    if (w == nullptr || w->parentWidget() != ContentOf(widget_)) {
        return false;
    }
    if (QLayout* layout = LayoutOf(widget_)) {
        layout->removeWidget(w);
    }
    w->hide();
    w->setParent(nullptr);
    w->deleteLater();
    return true;
}

void WidgetControl::RemoveAll() {
    for (QWidget* w : ChildWidgets(widget_)) {
        Remove(For(w));
    }
}

int WidgetControl::GetCount() const {
    return static_cast<int>(ChildWidgets(widget_).size());
}

CControlUI* WidgetControl::GetItemAt(int index) const {
    const auto children = ChildWidgets(widget_);
    if (index < 0 || index >= static_cast<int>(children.size())) {
        return nullptr;
    }
    return For(children[static_cast<size_t>(index)]);
}

int WidgetControl::GetItemIndex(CControlUI* child) const {
    QWidget* w = child == nullptr ? nullptr : child->GetWidget();
    const auto children = ChildWidgets(widget_);
    for (size_t i = 0; i < children.size(); ++i) {
        if (children[i] == w) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace velquist::ui
