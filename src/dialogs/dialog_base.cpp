#include "dialog_base.h"

#include "dialogs/wnd_shadow.h"

#include <cstdio>
#include <cstring>

namespace velquist {

namespace {

constexpr const char* kBoxShadowColor = "#9E9D9D";
constexpr int kBoxShadowSize = 4;

} // namespace

int ShowModalBox(std::unique_ptr<ui::WindowImplBase> dialog, ui::HWND owner) {
    if (dialog == nullptr) {
        return -1;
    }
    // Created hidden and shown once, by ShowModal, already placed and modal: a box
    // mapped, unmapped and mapped again in one go can be lost by a window manager
    // still busy with the first map, leaving an unmapped box that blocks its owner.
    dialog->Create(owner, QString(), kDialogStyle & ~ui::WS_VISIBLE, kDialogExStyle,
                   ui::CW_USEDEFAULT, ui::CW_USEDEFAULT, ui::CW_USEDEFAULT, ui::CW_USEDEFAULT);
    dialog->CenterWindow();
    return dialog->ShowModal();
}

bool ParseShadowColor(const char* text, std::uint32_t* color) {
    if (text == nullptr || std::strlen(text) != 7) {
        return false;
    }
    unsigned red = 0;
    unsigned green = 0;
    unsigned blue = 0;
    char extra = 0;
    if (std::sscanf(text, "#%2X%2X%2X%c", &red, &green, &blue, &extra) != 3) {
        return false;
    }
    *color = red | (green << 8) | (blue << 16);
    return true;
}

void AttachBoxFrame(ui::WindowImplBase& box, CWndShadow& shadow) {
    box.ModifyStyle(ui::WS_CAPTION, ui::WS_CLIPSIBLINGS | ui::WS_CLIPCHILDREN);
    shadow.Create(box.GetWidget());
    shadow.SetSize(kBoxShadowSize);
    shadow.SetPosition(0, 0);
    std::uint32_t color = 0;
    if (ParseShadowColor(kBoxShadowColor, &color)) {
        shadow.SetColor(color);
    }
}

} // namespace velquist
