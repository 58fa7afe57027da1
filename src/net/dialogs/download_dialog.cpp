#include "net/dialogs/download_dialog.h"

#include "dialogs/dialog_base.h"
#include "net/dialogs/desktop_shell.h"
#include "net/httpdownload.h"
#include "ui/messages.h"

#include <QCoreApplication>
#include <exception>
#include <iostream>
#include <thread>
#include <utility>

namespace velquist {
namespace {

// Progress travels as posted messages: widgets belong to the GUI thread.
class PostedProgress : public DownloadProgress {
  public:
    explicit PostedProgress(ui::HWND dialog) : dialog_(dialog) {}
    void ShowPercent(int percent) override {
        ui::PostMessage(dialog_, kMsgDownloadProgress, static_cast<ui::WPARAM>(percent));
    }
    void ShowWaitingForBatch() override { ui::PostMessage(dialog_, kMsgDownloadWaiting); }

  private:
    ui::HWND dialog_;
};

} // namespace

void DownloadThread(std::shared_ptr<DownloadJob> job) {
    DownloadRequest request;
    request.url = job->url;
    request.force = job->force;
    request.folder = InstallerTempDir();
    request.cancel = &job->cancel;
    request.check = job->check;
    request.batch_running = job->batch_running;
    PostedProgress progress(job->dialog);
    // The dialog waits for the message below; nothing may leave this thread without it.
    try {
        HttpDownload download;
        download.Download(request, progress, DownloadShell());
    } catch (const std::exception& error) {
        std::cerr << "installer download failed: " << error.what() << std::endl;
    }
    // Reached only when the process survives: the dialog closes with result 1.
    ui::PostMessage(job->dialog, kMsgDownloadDone);
}

DownloadDialog::DownloadDialog(ui::WindowImplBase* owner, const std::string& url, int force,
                               const InstallerCheck& check)
    : owner_(owner), job_(std::make_shared<DownloadJob>()) {
    job_->url = url;
    job_->force = force;
    job_->check = check;
}

QString DownloadDialog::GetWindowClassName() const {
    return QStringLiteral("升级下载");
}

void DownloadDialog::InitWindow() {
    Guarded("DownloadDialog::Init", [this] {
        cancel_ = FindControl(QStringLiteral("cancel"));
        downloadText_ = FindControl(QStringLiteral("download-text"));
        downloadTitle_ = FindControl(QStringLiteral("downloadTitle"));
        downloadSlider_ = FindControl(QStringLiteral("download-slider"));
        if (downloadSlider_ != nullptr) {
            downloadSlider_->SetMinValue(0);
            downloadSlider_->SetMaxValue(100);
        }
        job_->dialog = GetHWND();
        std::thread(DownloadThread, job_).detach();
    });
}

QString DownloadDialog::GetSkinFile() {
    return Guarded("DownloadDialog::GetSkinFile", [] { return QStringLiteral("download.xml"); });
}

ui::LRESULT DownloadDialog::HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM,
                                                bool& bHandled) {
    if (uMsg == kMsgDownloadProgress) {
        ShowPercent(static_cast<int>(wParam));
        bHandled = true;
        return 0;
    }
    if (uMsg == kMsgDownloadWaiting) {
        if (downloadTitle_ != nullptr) {
            downloadTitle_->SetText(QCoreApplication::translate("Velquist", kWaitingForBatchText));
        }
        bHandled = true;
        return 0;
    }
    if (uMsg == kMsgDownloadDone) {
        finished_ = true;
        Close(1);
        bHandled = true;
    }
    return 0;
}

// The window frame's close button must not take the window away while the download
// thread still runs: it counts as a cancel, and the thread closes the dialog.
ui::LRESULT DownloadDialog::OnClose(ui::UINT, ui::WPARAM, ui::LPARAM, bool& bHandled) {
    if (finished_) {
        bHandled = false;
        return 0;
    }
    job_->cancel = true;
    bHandled = true;
    return 0;
}

void DownloadDialog::Notify(ui::TNotifyUI& msg) {
    if (msg.sType == QLatin1String(ui::kNotifyClick) && msg.pSender != nullptr &&
        msg.pSender == cancel_) {
        job_->cancel = true;
    }
    WindowImplBase::Notify(msg);
}

void DownloadDialog::ShowPercent(int percent) {
    if (downloadText_ != nullptr) {
        downloadText_->SetText(QString::fromStdString(FormatPercent(percent)));
    }
    if (downloadSlider_ != nullptr) {
        downloadSlider_->SetValue(percent);
    }
}

} // namespace velquist
