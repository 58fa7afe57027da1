// Shows both boxes with Chinese text over a light desktop and saves what the
// screen shows, shadow included, for people to look at. Needs an X display
// with a compositing manager; docs/screenshots/make.sh runs it under Xvfb.
#include "dialogs/dialog_base.h"
#include "dialogs/message_box_dialog.h"
#include "dialogs/prompt_box_dialog.h"
#include "dialogs/wnd_shadow.h"
#include "platform/app_translations.h"
#include "ui/paint_manager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <cstdio>

namespace {

constexpr int kMargin = 24;

QWidget* ShownWindow(const QString& className) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == className && widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

// Once the box is up and painted, saves the screen around it and presses confirm.
void GrabWhenShown(const QString& className, const QString& file, bool* saved) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, className, file, saved] {
        QWidget* box = ShownWindow(className);
        if (box == nullptr) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        QTimer::singleShot(700, [box, file, saved] {
            const QRect area = box->geometry().adjusted(-kMargin, -kMargin, kMargin, kMargin);
            const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(
                0, area.x(), area.y(), area.width(), area.height());
            *saved = shot.save(file);
            std::printf("%s %s (%dx%d)\n", *saved ? "saved" : "could not save", qPrintable(file),
                        shot.width(), shot.height());
            if (auto* ok = box->findChild<QAbstractButton*>(QStringLiteral("msgConfirm"))) {
                ok->click();
            }
        });
    });
    timer->start(20);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    // Under an English locale the boxes show the program's own English texts, saved as
    // *-en.png beside the Chinese pictures.
    const bool english = velquist::SetUpUiLanguage() == velquist::UiLanguage::kEnglish;
    const QString suffix = english ? QStringLiteral("-en") : QString();
    const QString question =
        english ? QCoreApplication::translate("Velquist", "正在转换中,确定要退出吗?")
                : QStringLiteral("当前有图片正在转换，确定要退出吗？");
    const QString note = english ? QCoreApplication::translate("Velquist", "已是最新版本")
                                 : QStringLiteral("当前已是最新版本！");
    QDir().mkpath(outDir);
    velquist::ui::CPaintManagerUI::SetInstance();
    velquist::ui::CPaintManagerUI::SetResourcePath(VELQUIST_SKIN_DIR);
    velquist::ui::CResourceManager::LoadResource(QStringLiteral("res.xml"));
    if (!velquist::CWndShadow::Initialize()) {
        std::fprintf(stderr, "no compositing manager: the boxes would have no shadow\n");
        return 1;
    }

    QWidget desktop(nullptr, Qt::FramelessWindowHint);
    desktop.setStyleSheet(QStringLiteral("background: #eef1f5;"));
    desktop.setGeometry(QGuiApplication::primaryScreen()->geometry());
    desktop.show();

    bool savedMessage = false;
    bool savedPrompt = false;
    GrabWhenShown(QStringLiteral("MessageBoxDialog"), outDir + "/message-box" + suffix + ".png",
                  &savedMessage);
    velquist::ShowModalBox(std::make_unique<velquist::MessageBoxDialog>(nullptr, question),
                           velquist::ui::kNoWindow);
    GrabWhenShown(QStringLiteral("PromptBoxDialog"), outDir + "/prompt-box" + suffix + ".png",
                  &savedPrompt);
    velquist::ShowModalBox(std::make_unique<velquist::PromptBoxDialog>(nullptr, note),
                           velquist::ui::kNoWindow);
    return savedMessage && savedPrompt ? 0 : 1;
}
