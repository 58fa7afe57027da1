#pragma once

#include "net/httpdownload.h"
#include "ui/control.h"
#include "ui/notify.h"
#include "ui/ui_defs.h"
#include "ui/window_impl_base.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace velquist {

// Posted by the download thread: wParam is the whole percentage.
inline constexpr ui::UINT kMsgDownloadProgress = ui::WM_USER + 301;
// Posted by the download thread when the dialog may close (result 1).
inline constexpr ui::UINT kMsgDownloadDone = ui::WM_USER + 302;
// Posted by the download thread while the installer waits for the batch to end.
inline constexpr ui::UINT kMsgDownloadWaiting = ui::WM_USER + 303;
inline constexpr const char* kWaitingForBatchText =
    QT_TRANSLATE_NOOP("Velquist", "下载完成,等待当前转换结束后安装…");

// What the download thread shares with its dialog. The thread holds its own reference
// and reaches the dialog only by posting to its handle, so a window that went away early
// costs a refused post instead of a use after free.
struct DownloadJob {
    std::string url;
    int force = 0;
    InstallerCheck check;
    std::function<bool()> batch_running; // callable from the download thread
    std::atomic<bool> cancel{false};
    ui::HWND dialog = ui::kNoWindow;
};

// The whole download for the dialog's job: transfer, installer start or process end,
// then the close request to the dialog.
void DownloadThread(std::shared_ptr<DownloadJob> job);

// Shows the installer download and starts it. Create with new, show with ShowModalBox;
// the download thread closes it, or ends the process.
class DownloadDialog : public ui::WindowImplBase {
  public:
    DownloadDialog(ui::WindowImplBase* owner, const std::string& url, int force,
                   const InstallerCheck& check = {});

    // Before showing: the installer starts only once batchRunning says false.
    void WaitForBatch(std::function<bool()> batchRunning) {
        job_->batch_running = std::move(batchRunning);
    }

    QString GetWindowClassName() const override;
    void InitWindow() override;
    QString GetSkinFile() override;
    ui::LRESULT HandleCustomMessage(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                                    bool& bHandled) override;
    ui::LRESULT OnClose(ui::UINT uMsg, ui::WPARAM wParam, ui::LPARAM lParam,
                        bool& bHandled) override;
    void Notify(ui::TNotifyUI& msg) override;

  private:
    void ShowPercent(int percent);

    ui::WindowImplBase* owner_ = nullptr;
    std::shared_ptr<DownloadJob> job_;
    bool finished_ = false;
    ui::CButtonUI* cancel_ = nullptr;
    ui::CLabelUI* downloadText_ = nullptr;
    ui::CLabelUI* downloadTitle_ = nullptr;
    ui::CSliderUI* downloadSlider_ = nullptr;
};

} // namespace velquist
