#pragma once

#include "ui/ui_defs.h"
#include "ui/window_impl_base.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>

namespace velquist {

class CWndShadow;

// Visible pop-up with a dialog frame and system menu that clips its children.
inline constexpr ui::DWORD kDialogStyle = 0x96C80000;
inline constexpr ui::DWORD kDialogExStyle = ui::WS_EX_WINDOWEDGE;

// Creates the dialog over owner (or none), centres it and runs it modally.
// Returns the code given to Close, or -1 when its window could not be made.
// The dialog is freed when its loop has ended.
int ShowModalBox(std::unique_ptr<ui::WindowImplBase> dialog, ui::HWND owner);

// The failure a dialog's guarded operations report: "Class::Operation", then what
// went wrong when the failure said so ("Class::Operation: the skin lacks ...").
class DialogError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Runs body; whatever it throws comes out as a DialogError naming label and
// keeping the original text, so the log says both where and what.
template <typename Body> auto Guarded(const char* label, Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (const DialogError&) {
        throw; // already labelled where it was first caught
    } catch (const std::exception& e) {
        throw DialogError(std::string(label) + ": " + e.what());
    } catch (...) {
        throw DialogError(label);
    }
}

// Reads "#RRGGBB" into a colour value with red in the low byte, then green,
// then blue. False for anything else.
bool ParseShadowColor(const char* text, std::uint32_t* color);

// The frame every box shares: no system caption, and a grey shadow of four
// pixels directly around it.
void AttachBoxFrame(ui::WindowImplBase& box, CWndShadow& shadow);

} // namespace velquist
