#include "action_run.h"

#include "actions/desktop_notifier.h"
#include "actions/progress_box.h"
#include "cli/batch_inputs.h"
#include "cli/retry_list.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <signal.h>
#include <utility>

namespace velquist {
namespace {

constexpr qsizetype kErrorKeep = 1024;
constexpr int kLongestWaitMs = 30 * 60 * 1000;

QString ResultText(const ConverterTally& tally, std::size_t extraFailed) {
    const std::size_t failed = tally.failed + extraFailed;
    QString text = QCoreApplication::translate("Velquist", "已转换 %1 张").arg(tally.converted);
    if (failed != 0) {
        text += QCoreApplication::translate("Velquist", "，失败 %1 张").arg(failed);
    }
    return text;
}

QString FolderOf(const std::string& path) {
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).absolutePath();
}

} // namespace

ActionRun::ActionRun(ActionRequest request, QObject* parent)
    : QObject(parent), request_(std::move(request)), notifier_(new DesktopNotifier(this)) {
    connect(notifier_, &DesktopNotifier::FolderRequested, this, [this] {
        OpenFolder();
        emit Finished(0);
    });
    connect(notifier_, &DesktopNotifier::Closed, this, [this] { emit Finished(0); });
}

ActionRun::~ActionRun() {
    if (converter_.state() != QProcess::NotRunning) {
        converter_.kill();
        converter_.waitForFinished();
    }
}

void ActionRun::Start() {
    const BatchInputs inputs = CollectInputs(request_.paths, false);
    unreadable_ = inputs.errors.size();
    total_ = inputs.files.size();
    if (total_ == 0) {
        Report(QStringLiteral("Velquist"),
               unreadable_ == 0 ? QCoreApplication::translate("Velquist", "没有找到 HEIC/HEIF 图片")
                                : QCoreApplication::translate("Velquist", "无法读取所选的文件"));
        return;
    }
    StartConverter(inputs.files);
}

void ActionRun::StartConverter(const std::vector<std::string>& files) {
    // The list carries the names as the bytes they are, which a command line built from
    // QStrings could not.
    std::vector<ListedFile> listed;
    for (const std::string& file : files) {
        listed.emplace_back(file, std::string());
    }
    std::string error;
    const std::string list =
        listDir_.isValid()
            ? WriteRetryList(QFile::encodeName(listDir_.path()).toStdString(), listed, &error)
            : std::string();
    if (list.empty()) {
        Report(QStringLiteral("Velquist"), QCoreApplication::translate("Velquist", "无法开始转换"));
        return;
    }
    lines_ = std::make_unique<ConverterLines>(files);
    box_ = std::make_unique<ProgressBox>(static_cast<int>(total_));
    connect(box_.get(), &ProgressBox::CancelRequested, this, &ActionRun::Cancel);
    box_->show();

    QStringList args;
    for (const std::string& arg : ConverterArgs(request_.format, list)) {
        args << QFile::decodeName(QByteArray::fromStdString(arg));
    }
    connect(&converter_, &QProcess::readyReadStandardOutput, this, &ActionRun::ReadLines);
    connect(&converter_, &QProcess::readyReadStandardError, this, [this] {
        const QByteArray more = converter_.readAllStandardError();
        errors_ += more.left(kErrorKeep - errors_.size());
    });
    connect(&converter_, &QProcess::finished, this, &ActionRun::ConverterEnded);
    connect(&converter_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            box_->hide();
            Report(QStringLiteral("Velquist"),
                   QCoreApplication::translate("Velquist", "无法启动转换程序 velquist-convert"));
        }
    });
    converter_.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velquist-convert"),
                     args);
}

void ActionRun::ReadLines() {
    const QByteArray bytes = converter_.readAllStandardOutput();
    for (const ConverterLine& line : lines_->Feed(std::string_view(bytes.data(), bytes.size()))) {
        tally_.Add(line);
    }
    box_->SetDone(static_cast<int>(tally_.Done()));
}

void ActionRun::Cancel() {
    if (converter_.state() == QProcess::NotRunning) {
        emit Finished(0); // nothing runs: a stop ends the wait on the notification
        return;
    }
    if (cancelled_) {
        return;
    }
    cancelled_ = true;
    box_->SetStopping();
    // SIGINT is the converter's own stop: running files end without leaving anything.
    ::kill(static_cast<pid_t>(converter_.processId()), SIGINT);
}

void ActionRun::ConverterEnded(int exitCode, QProcess::ExitStatus status) {
    ReadLines();
    box_->hide();
    const bool started = status == QProcess::NormalExit && exitCode != 2;
    // A stop that came before the converter could take SIGINT itself ended it all the same.
    if (!cancelled_ && !started && tally_.Done() == 0) {
        const QString why = QString::fromUtf8(errors_).section(QLatin1Char('\n'), 0, 0);
        Report(QStringLiteral("Velquist"),
               why.isEmpty()
                   ? QCoreApplication::translate("Velquist", "转换未能完成")
                   : QCoreApplication::translate("Velquist", "转换未能完成：%1").arg(why));
        return;
    }
    const QString summary = cancelled_ ? QCoreApplication::translate("Velquist", "转换已取消")
                                       : QCoreApplication::translate("Velquist", "转换完成");
    Report(summary, ResultText(tally_, unreadable_));
}

void ActionRun::Report(const QString& summary, const QString& body) {
    if (!notifier_->Connect()) {
        ReportInBox(summary, body);
        return;
    }
    const bool offerFolder = tally_.converted != 0;
    if (!notifier_->Show(summary, body, offerFolder)) {
        ReportInBox(summary, body);
        return;
    }
    // Only a notification with the folder button has anything left to wait for.
    if (!(offerFolder && notifier_->HasActions())) {
        emit Finished(0);
        return;
    }
    // A server that keeps its notifications may never say it closed this one.
    QTimer::singleShot(kLongestWaitMs, this, [this] { emit Finished(0); });
}

void ActionRun::ReportInBox(const QString& summary, const QString& body) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Velquist"), summary);
    box.setInformativeText(body);
    QPushButton* open = nullptr;
    if (tally_.converted != 0) {
        open = box.addButton(QCoreApplication::translate("Velquist", "打开文件夹"),
                             QMessageBox::ActionRole);
    }
    box.addButton(QCoreApplication::translate("Velquist", "确定"), QMessageBox::AcceptRole);
    box.exec();
    if (open != nullptr && box.clickedButton() == open) {
        OpenFolder();
    }
    emit Finished(0);
}

void ActionRun::OpenFolder() {
    const std::string& first =
        tally_.firstConverted.empty() ? request_.paths.front() : tally_.firstConverted;
    QDesktopServices::openUrl(QUrl::fromLocalFile(FolderOf(first)));
}

} // namespace velquist
