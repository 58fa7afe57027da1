// Saves pictures of the download and feedback dialogs for people to look at
// (QWidget::grab, so any platform will do, offscreen included).
#include "dialogs/dialog_base.h"
#include "gui_driver.h"
#include "net/dialogs/download_dialog.h"
#include "net/dialogs/feedback_dialog.h"
#include "ui/messages.h"
#include "ui/paint_manager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWidget>
#include <arpa/inet.h>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using velquist::testing::WhenShown;

bool Save(QWidget* window, const QString& file) {
    const bool saved = window->grab().save(file);
    std::printf("%s %s\n", saved ? "saved" : "could not save", qPrintable(file));
    return saved;
}

// A loopback port that accepts connections but never answers, so the download
// stays at its first step while the picture is taken.
int SilentPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    listen(fd, 4);
    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(outDir);
    velquist::ui::CPaintManagerUI::SetInstance();
    velquist::ui::CPaintManagerUI::SetResourcePath(VELQUIST_SKIN_DIR);
    velquist::ui::CResourceManager::LoadResource(QStringLiteral("res.xml"));

    bool savedFeedback = false;
    WhenShown(QStringLiteral("意见反馈"), [&](QWidget* form) {
        form->findChild<QPlainTextEdit*>(QStringLiteral("feedbackContent"))
            ->setPlainText(QStringLiteral("希望能支持批量重命名。"));
        form->findChild<QLabel*>(QStringLiteral("feedbackErrorTips"))
            ->setText(QStringLiteral("联系方式不能为空!"));
        QTimer::singleShot(300, [form, &savedFeedback, outDir] {
            savedFeedback = Save(form, outDir + "/feedback.png");
            form->close();
        });
    });
    velquist::ShowModalBox(std::make_unique<velquist::FeedbackDialog>(nullptr, [] { return true; }),
                           velquist::ui::kNoWindow);

    const std::string url =
        "http://127.0.0.1:" + std::to_string(SilentPort()) + "/Velquist-setup-1.0.2.exe";
    auto downloadOwned = std::make_unique<velquist::DownloadDialog>(nullptr, url, 0);
    auto* download = downloadOwned.get();
    WhenShown(QStringLiteral("升级下载"), [download, savedFeedback, outDir](QWidget* window) {
        velquist::ui::PostMessage(download->GetHWND(), velquist::kMsgDownloadProgress, 37);
        QTimer::singleShot(300, [window, savedFeedback, outDir] {
            const bool savedDownload = Save(window, outDir + "/download.png");
            std::fflush(nullptr);
            // The download thread still waits on the silent port.
            std::_Exit(savedFeedback && savedDownload ? 0 : 1);
        });
    });
    velquist::ShowModalBox(std::move(downloadOwned), velquist::ui::kNoWindow);
    return 1;
}
