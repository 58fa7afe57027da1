#pragma once

#include "app/mainwnd.h"
#include "tasks/job_runner.h"

#include <QString>
#include <QStringList>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace velquist::test {

// The temporary home every test process runs in (HOME and XDG folders).
const std::string& TestHome();

bool SpinUntil(const std::function<bool()>& pred, int ms = 20000);
// Runs the event loop until everything posted before the call has been delivered.
bool SpinPastPosted(int ms = 20000);

// The window's own worker process. Under AddressSanitizer its shadow memory does not fit
// the worker's address-space limit, so the limit is lifted there.
std::shared_ptr<JobRunner> RealWorkerRunner();
// Conversion workers (velquist-convert) this process started that are not reaped yet.
int LiveWorkerChildren();

// A main window as the program creates it, shown; null when it cannot be made.
CMainWnd* OpenMainWindow(std::shared_ptr<JobRunner> runner = nullptr);
// Closes it (answering no question) and waits until it is gone.
void CloseMainWindow(CMainWnd* window);

// Makes a folder private to the user, as Qt wants for the single-instance socket.
QString MakePrivateRuntimeFolder(const QString& path);
// Starts program as a later start that finds this process's instance through runtime,
// and spins the event loop until it ends (this process answers it). Its exit code, or
// -1 when it did not start or end normally.
int RunLaterStart(const QString& runtime, const QString& workDir, const QString& program,
                  const QStringList& args);

// A value of configure.ini's [global] section, "<absent>" when it is not there.
std::wstring SavedSetting(const wchar_t* key);

void ClickButton(CMainWnd* window, const char* name);
// The entry of id shows that part.
bool EntryShows(CMainWnd* window, int id, const char* part);
bool ControlVisible(CMainWnd* window, const char* name);

// Watches for the skinned box of that class (e.g. "PromptBoxDialog") and
// answers it with the button; the text it showed lands in *text.
class BoxAnswerer {
  public:
    BoxAnswerer(const char* className, const char* button);
    ~BoxAnswerer();
    bool Answered() const { return answered_; }
    const QString& Text() const { return text_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool answered_ = false;
    QString text_;
};

// Closes the next system message box and remembers its text.
class SystemBoxAnswerer {
  public:
    SystemBoxAnswerer();
    ~SystemBoxAnswerer();
    bool Answered() const { return answered_; }
    const QString& Text() const { return text_; }

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool answered_ = false;
    QString text_;
};

// Jobs that wait until the test opens the gate, then succeed.
class GateRunner : public JobRunner {
  public:
    JobOutcome Run(const ConvertTask& task, const std::atomic<bool>& cancel) override;
    void Open();
    int Started() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int started_ = 0;
};

} // namespace velquist::test
