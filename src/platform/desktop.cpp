#include "desktop.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <cstdlib>
#include <cstring>
#include <memory>

#if QT_CONFIG(xcb) && defined(VELQUIST_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace velquist {

namespace {

#if QT_CONFIG(xcb) && defined(VELQUIST_HAVE_XCB)
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

bool CompositorOwnsSelection(xcb_connection_t* connection) {
    constexpr const char* kSelection = "_NET_WM_CM_S0";
    const auto atomCookie =
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(kSelection)), kSelection);
    std::unique_ptr<xcb_intern_atom_reply_t, FreeDeleter> atom(
        xcb_intern_atom_reply(connection, atomCookie, nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE) {
        return false;
    }
    const auto ownerCookie = xcb_get_selection_owner(connection, atom->atom);
    std::unique_ptr<xcb_get_selection_owner_reply_t, FreeDeleter> owner(
        xcb_get_selection_owner_reply(connection, ownerCookie, nullptr));
    return owner && owner->owner != XCB_NONE;
}
#endif

} // namespace

bool TrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool CanBlendTranslucentWindows() {
#if QT_CONFIG(xcb) && defined(VELQUIST_HAVE_XCB)
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    if (x11 == nullptr || x11->connection() == nullptr) {
        return false;
    }
    return CompositorOwnsSelection(x11->connection());
#else
    return false;
#endif
}

} // namespace velquist
