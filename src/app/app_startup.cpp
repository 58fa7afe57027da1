#include "app_startup.h"

#include "dialogs/wnd_shadow.h"
#include "mainwnd.h"
#include "platform/single_instance.h"
#include "ui/paint_manager.h"
#include "ui/ui_defs.h"
#include "ui/window_keeper.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <cstdio>

namespace velquist {
namespace {

constexpr ui::DWORD kMainWindowStyle = ui::WS_VISIBLE | ui::WS_OVERLAPPEDWINDOW;

// The first paint of any widget of the window, seen from the application,
// since the window's own widget may be covered by its children entirely.
class FirstPaintWatcher final : public QObject {
  public:
    FirstPaintWatcher(QWidget* window, FirstPaintFn fn) : window_(window), fn_(std::move(fn)) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || !fn_ || !watched->isWidgetType() ||
            window_ == nullptr) {
            return false;
        }
        if (static_cast<QWidget*>(watched)->window() == window_) {
            auto fn = std::move(fn_);
            fn_ = nullptr;
            fn(window_);
        }
        return false;
    }

  private:
    QPointer<QWidget> window_;
    FirstPaintFn fn_;
};

} // namespace

QString FindSkinFolder() {
    const QString exeDir = ui::CPaintManagerUI::GetInstancePath();
    const QString beside = exeDir + QStringLiteral("skin/");
    if (QFileInfo::exists(beside + QStringLiteral("res.xml"))) {
        return beside;
    }
    const QString installed =
        QDir::cleanPath(exeDir + QStringLiteral("../share/velquist/skin")) + QStringLiteral("/");
    if (QFileInfo::exists(installed + QStringLiteral("res.xml"))) {
        return installed;
    }
    return beside;
}

int CheckInstall() {
    const QString skin = FindSkinFolder();
    const QString worker =
        ui::CPaintManagerUI::GetInstancePath() + QStringLiteral("velquist-convert");
    const bool skinFound = QFileInfo::exists(skin + QStringLiteral("res.xml"));
    const bool workerFound = QFileInfo(worker).isExecutable();
    std::printf("skin: %s%s\nworker: %s%s\n", skin.toLocal8Bit().constData(),
                skinFound ? "" : " (missing)", worker.toLocal8Bit().constData(),
                workerFound ? "" : " (missing)");
    return skinFound && workerFound ? 0 : 1;
}

bool LoadSkinResources() {
    const QString skin = FindSkinFolder();
    ui::CPaintManagerUI::SetResourcePath(skin);
    // Stylesheets name their images as "skin:images/...", which resolves here
    // whatever the working directory is.
    QDir::setSearchPaths(QStringLiteral("skin"), {skin});
    QString error;
    if (!ui::CResourceManager::LoadResource(QStringLiteral("res.xml"), &error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return false;
    }
    return true;
}

CMainWnd* CreateMainWindow() {
    auto owned = std::make_unique<CMainWnd>();
    CMainWnd* window = owned.get();
    if (window->Create(ui::kNoWindow, QStringLiteral("Velquist"),
                       kMainWindowStyle & ~ui::WS_VISIBLE, 0, 0, 0, 0, 0) == ui::kNoWindow) {
        return nullptr;
    }
    ui::KeepUntilGone(std::move(owned));
    // Centred before it is shown, so that it never appears elsewhere first.
    window->CenterWindow();
    window->ShowWindow(true, true);
    return window;
}

void ConnectInstanceToWindow(SingleInstance& instance, CMainWnd* window) {
    QPointer<QWidget> widget = window->GetWidget();
    QObject::connect(&instance, &SingleInstance::FilesReceived, widget,
                     [window, widget](const std::vector<std::string>& files) {
                         if (widget) {
                             window->AddOpenedPaths(files);
                         }
                     });
    QObject::connect(&instance, &SingleInstance::RaiseRequested, widget, [widget] {
        if (widget) {
            RaiseWindowAndDialog(widget);
        }
    });
}

int RunVelquist(const FirstPaintFn& onFirstPaint, const std::vector<std::string>& files) {
    SingleInstance instance;
    const SingleInstance::Role role = instance.Acquire(files);
    if (role == SingleInstance::Role::kHandedOver || role == SingleInstance::Role::kOtherStarting) {
        return 0;
    }
    CWndShadow::Initialize();
    ui::CPaintManagerUI::SetInstance();
    LoadSkinResources();
    CMainWnd* window = CreateMainWindow();
    if (window == nullptr) {
        return 0;
    }
    window->AddOpenedPaths(files);
    QPointer<QWidget> widget = window->GetWidget();
    FirstPaintWatcher watcher(widget, onFirstPaint);
    if (onFirstPaint) {
        QCoreApplication::instance()->installEventFilter(&watcher);
    }
    ConnectInstanceToWindow(instance, window);
    ui::CPaintManagerUI::MessageLoop();
    // The main window is released by deferred deletion after its last message; the
    // loop may have ended first, and its engine must still be torn down in order.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::CPaintManagerUI::Term();
    return 0;
}

} // namespace velquist
