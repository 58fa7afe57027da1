#include "app_test_util.h"

#include "config/config_file.h"
#include "support/child_processes.h"
#include "tasks/process_job_runner.h"
#include "ui/control.h"
#include "ui/messages.h"
#include "ui/paint_manager.h"
#include "ui/window_keeper.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <fstream>
#include <unistd.h>

namespace velquist::test {

bool SpinUntil(const std::function<bool()>& pred, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > ms) {
            return pred();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

bool SpinPastPosted(int ms) {
    auto reached = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [reached] { *reached = true; }, Qt::QueuedConnection);
    return SpinUntil([reached] { return *reached; }, ms);
}

QString MakePrivateRuntimeFolder(const QString& path) {
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

int RunLaterStart(const QString& runtime, const QString& workDir, const QString& program,
                  const QStringList& args) {
    QProcess later;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    later.setProcessEnvironment(env);
    later.setWorkingDirectory(workDir);
    later.start(program, args);
    if (!later.waitForStarted(20000) ||
        !SpinUntil([&later] { return later.state() == QProcess::NotRunning; }, 30000)) {
        return -1;
    }
    return later.exitStatus() == QProcess::NormalExit ? later.exitCode() : -1;
}

std::wstring SavedSetting(const wchar_t* key) {
    std::wstring value;
    ReadConfigValue(L"global", key, L"<absent>", value);
    return value;
}

std::shared_ptr<JobRunner> RealWorkerRunner() {
#if defined(__SANITIZE_ADDRESS__)
    WorkerOptions options;
    options.command = {(ui::CPaintManagerUI::GetInstancePath() + QStringLiteral("velquist-convert"))
                           .toStdString()};
    options.memoryLimitBytes = 0;
    return std::make_shared<ProcessJobRunner>(options);
#else
    return nullptr;
#endif
}

int LiveWorkerChildren() {
    return LiveChildren("velquist-convert");
}

CMainWnd* OpenMainWindow(std::shared_ptr<JobRunner> runner) {
    auto owned = std::make_unique<CMainWnd>(std::move(runner));
    CMainWnd* window = owned.get();
    if (window->Create(ui::kNoWindow, QStringLiteral("Velquist"), ui::WS_OVERLAPPEDWINDOW, 0, 0, 0,
                       0, 0) == ui::kNoWindow) {
        return nullptr;
    }
    ui::KeepUntilGone(std::move(owned));
    window->CenterWindow();
    window->ShowWindow(true, true);
    return window;
}

void CloseMainWindow(CMainWnd* window) {
    const ui::HWND handle = window->GetHWND();
    ui::PostMessage(handle, ui::WM_CLOSE, 0, 0);
    SpinUntil([handle] { return !ui::IsWindow(handle); });
    SpinPastPosted(); // what the window left for later (deferred deletes) goes too
}

void ClickButton(CMainWnd* window, const char* name) {
    ui::CControlUI* control = window->FindControl(QLatin1String(name));
    auto* button =
        control != nullptr ? qobject_cast<QAbstractButton*>(control->GetWidget()) : nullptr;
    if (button != nullptr) {
        button->click();
    }
}

bool EntryShows(CMainWnd* window, int id, const char* part) {
    ui::CControlUI* entry = window->FindControl(QStringLiteral("item-%1").arg(id));
    ui::CControlUI* control =
        entry != nullptr ? entry->FindSubControl(QLatin1String(part)) : nullptr;
    return control != nullptr && control->IsVisible();
}

bool ControlVisible(CMainWnd* window, const char* name) {
    ui::CControlUI* control = window->FindControl(QLatin1String(name));
    return control != nullptr && control->IsVisible();
}

struct BoxAnswerer::Impl {
    QTimer timer;
};

BoxAnswerer::BoxAnswerer(const char* className, const char* button)
    : impl_(std::make_unique<Impl>()) {
    const QString wanted = QLatin1String(className);
    const QString buttonName = QLatin1String(button);
    QObject::connect(&impl_->timer, &QTimer::timeout, [this, wanted, buttonName] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() != wanted || !widget->isVisible()) {
                continue;
            }
            auto* label = widget->findChild<QLabel*>(QStringLiteral("msgText"));
            auto* answer = widget->findChild<QAbstractButton*>(buttonName);
            if (label == nullptr || answer == nullptr) {
                continue;
            }
            impl_->timer.stop();
            text_ = label->text();
            answered_ = true;
            answer->click();
            return;
        }
    });
    impl_->timer.start(10);
}

BoxAnswerer::~BoxAnswerer() = default;

struct SystemBoxAnswerer::Impl {
    QTimer timer;
};

SystemBoxAnswerer::SystemBoxAnswerer() : impl_(std::make_unique<Impl>()) {
    QObject::connect(&impl_->timer, &QTimer::timeout, [this] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible()) {
                continue;
            }
            impl_->timer.stop();
            text_ = box->text();
            answered_ = true;
            box->accept();
            return;
        }
    });
    impl_->timer.start(10);
}

SystemBoxAnswerer::~SystemBoxAnswerer() = default;

JobOutcome GateRunner::Run(const ConvertTask& /*task*/, const std::atomic<bool>& cancel) {
    std::unique_lock lock(mutex_);
    ++started_;
    while (!open_ && !cancel) {
        changed_.wait_for(lock, std::chrono::milliseconds(20));
    }
    return open_ ? JobOutcome{kTaskSucceeded, {}} : JobOutcome{kTaskFailed, "cancelled"};
}

void GateRunner::Open() {
    {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    changed_.notify_all();
}

int GateRunner::Started() const {
    std::lock_guard lock(mutex_);
    return started_;
}

} // namespace velquist::test
