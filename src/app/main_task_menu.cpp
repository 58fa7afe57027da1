#include "main_task_menu.h"

#include "menu_placement.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "window_messages.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <array>

namespace velquist {
namespace {

struct MenuCommand {
    const char* item;
    ui::UINT message;
};

// Compared in this order.
constexpr std::array<MenuCommand, 5> kMenuCommands = {{
    {"main_menu_item_quit", kMsgQuit},
    {"main_menu_item_home", kMsgShowMain},
    {"main_menu_item_feedback", kMsgFeedback},
    {"main_menu_item_help", kMsgOpenHelp},
    {"main_menu_item_upgrade", kMsgCheckUpdate},
}};

constexpr ui::DWORD kMenuStyle =
    ui::WS_POPUP | ui::WS_VISIBLE | ui::WS_CLIPSIBLINGS | ui::WS_CLIPCHILDREN;

QRect WorkAreaAt(QPoint point) {
    QScreen* screen = QGuiApplication::screenAt(point);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

} // namespace

CMainTaskMenu::CMainTaskMenu(QString skinFile) : skinFile_(std::move(skinFile)) {}

QString CMainTaskMenu::GetWindowClassName() const {
    return QStringLiteral("CDuiMenu ");
}

QString CMainTaskMenu::GetSkinFile() {
    return skinFile_;
}

ui::LRESULT CMainTaskMenu::OnKillFocus(ui::UINT, ui::WPARAM, ui::LPARAM, bool& bHandled) {
    Close(1);
    bHandled = false;
    return 0;
}

void CMainTaskMenu::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyItemSelect)) {
        Close(1);
    } else if (msg.sType == QLatin1String(ui::kNotifyItemClick) && msg.pSender != nullptr) {
        const QString name = msg.pSender->GetName();
        for (const MenuCommand& command : kMenuCommands) {
            if (name.compare(QLatin1String(command.item), Qt::CaseInsensitive) == 0) {
                ui::PostMessage(owner_, command.message, msg.wParam, msg.lParam);
                break;
            }
        }
    }
    WindowImplBase::Notify(msg);
}

bool CMainTaskMenu::Popup(ui::WindowImplBase* owner, int x, int y) {
    owner_ = owner != nullptr ? owner->GetHWND() : ui::kNoWindow;
    x_ = x;
    y_ = y;
    // Created hidden and shown once it stands where it belongs, so that it
    // never flashes at the pointer before moving.
    if (Create(owner_, QStringLiteral("MenuWnd"), kMenuStyle & ~ui::WS_VISIBLE,
               ui::WS_EX_TOOLWINDOW | ui::WS_EX_TOPMOST) == ui::kNoWindow) {
        return false;
    }
    const QPoint at = PlaceMenu({x_, y_}, GetWindowRect().size(), WorkAreaAt({x_, y_}));
    SetWindowPos(at.x(), at.y());
    ShowWindow(true, true);
    return true;
}

} // namespace velquist
