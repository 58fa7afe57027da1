#pragma once

#include "actions/action_plan.h"
#include "actions/converter_lines.h"

#include <QObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

namespace velquist {

class DesktopNotifier;
class ProgressBox;

// One file-manager action: the converter runs as a child on the collected photos, the box
// follows its lines, and the result goes to the desktop's notifications (or a box of our
// own without a notification server). Finished() once nothing is left to wait for.
class ActionRun : public QObject {
    Q_OBJECT

  public:
    explicit ActionRun(ActionRequest request, QObject* parent = nullptr);
    ~ActionRun() override;

    void Start();
    // As 取消 does: the converter stops what runs; the result is reported as usual.
    void Cancel();

  signals:
    void Finished(int exitCode);

  private:
    void StartConverter(const std::vector<std::string>& files);
    void ReadLines();
    void ConverterEnded(int exitCode, QProcess::ExitStatus status);
    void Report(const QString& summary, const QString& body);
    void ReportInBox(const QString& summary, const QString& body);
    void OpenFolder();

    ActionRequest request_;
    std::size_t total_ = 0;
    std::size_t unreadable_ = 0; // named paths the converter never saw
    bool cancelled_ = false;
    QTemporaryDir listDir_;
    QProcess converter_;
    QByteArray errors_; // the converter's standard error, its first KiB
    std::unique_ptr<ConverterLines> lines_;
    ConverterTally tally_;
    std::unique_ptr<ProgressBox> box_;
    DesktopNotifier* notifier_ = nullptr;
};

} // namespace velquist
