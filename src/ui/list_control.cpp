#include "ui/list_control.h"

#include "ui/list_model.h"
#include "ui/template_list.h"

namespace velquist::ui {

ListControl::ListControl(TemplateListView* view) : WidgetControl(view), view_(view) {}

CControlUI* ListControl::FindSubControl(const QString& name) {
    return view_->Model()->FindByName(name);
}

bool ListControl::Add(CControlUI* child) {
    return AddAt(child, -1);
}

bool ListControl::AddAt(CControlUI* child, int index) {
    // Entries come from AddTemplateItem and are in the list already; moving
    // one to another place is all Add can mean here.
    ListModel* model = view_->Model();
    const int from = model->IndexOf(dynamic_cast<ListRow*>(child));
    if (from < 0) {
        return false;
    }
    const int last = model->Count() - 1;
    return model->Move(from, index < 0 || index > last ? last : index);
}

bool ListControl::Remove(CControlUI* child) {
    return view_->Model()->Remove(dynamic_cast<ListRow*>(child));
}

void ListControl::RemoveAll() {
    view_->Model()->RemoveAll();
}

int ListControl::GetCount() const {
    return view_->Model()->Count();
}

CControlUI* ListControl::GetItemAt(int index) const {
    return view_->Model()->At(index);
}

int ListControl::GetItemIndex(CControlUI* child) const {
    return view_->Model()->IndexOf(dynamic_cast<ListRow*>(child));
}

CControlUI* ListControl::AddTemplateItem() {
    RowTemplate* tmpl = view_->Template();
    if (tmpl == nullptr) {
        return nullptr;
    }
    return view_->Model()->Append(std::make_unique<ListRow>(view_, tmpl));
}

} // namespace velquist::ui
