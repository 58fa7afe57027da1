#include "account_shot.h"

#include "account/dialogs/account_dialogs.h"
#include "bench_support.h"
#include "gui_driver.h"
#include "loopback_server.h"
#include "net/service_url.h"

#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdio>

namespace velquist::bench {
namespace {

const QString kRegister = QStringLiteral("用户注册");
const QString kPrompt = QStringLiteral("PromptBoxDialog");
const QString kLogin = QStringLiteral("登陆");
const QString kMainWindow = QStringLiteral("HEIC图片转换器");

// The form and the box above it, as the display shows them.
bool GrabForm(QWidget* form, QWidget* box, const QString& file) {
    QScreen* screen = form->screen();
    const QRect area = form->frameGeometry().united(box->frameGeometry());
    const QPixmap pixmap =
        screen != nullptr && qgetenv("QT_QPA_PLATFORM") != "offscreen"
            ? screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            : form->grab();
    const bool ok = pixmap.save(file);
    std::printf("%s %s\n", ok ? "wrote" : "cannot write", file.toUtf8().constData());
    return ok;
}

} // namespace

bool ShotCodeRefusal(ui::WindowImplBase* mainWindow, const QString& file) {
    testing::LoopbackServer service;
    service.server().Get(R"(/v1/smsnotify/register/.*)",
                         [](const httplib::Request&, httplib::Response& res) {
                             res.set_content("{\"ret\":400001}", "application/json");
                         });
    service.Start();
    const std::string before = ServiceBaseUrl();
    SetServiceBaseUrl(service.BaseUrl());
    bool ok = false;
    QWidget* form = nullptr;
    testing::WindowSteps steps(kMainWindow, 10000);
    steps
        .Then(kRegister,
              [&form](QWidget* shown) {
                  form = shown;
                  testing::Type(shown, "registerMobilePhone", QStringLiteral("13800138000"));
                  testing::Click(shown, "registerVerifyCodeBtn");
              })
        .Then(kPrompt, [&form, &ok, &file](QWidget* box) {
            SpinFor(300);
            ok = GrabForm(form, box, file);
            testing::Click(box, "msgConfirm");
            SpinFor(100);
            form->close();
        });
    steps.Start();
    OpenRegisterDialog(mainWindow);
    SetServiceBaseUrl(before);
    return ok;
}

bool ShotLoginDialog(ui::WindowImplBase* mainWindow, const QString& file) {
    bool ok = false;
    testing::WindowSteps steps(kMainWindow, 10000);
    steps.Then(kLogin, [&ok, &file](QWidget* dialog) {
        testing::Type(dialog, "account", QStringLiteral("13800138000"));
        SpinFor(300);
        ok = GrabForm(dialog, dialog, file);
        dialog->close();
    });
    steps.Start();
    OpenLoginDialog(mainWindow);
    return ok;
}

} // namespace velquist::bench
