#include "progress_display.h"

#include "util/shown_name.h"

#include <string>

namespace velquist {

ProgressDisplay::ProgressDisplay(std::FILE* lines, bool linesAreTerminal, std::FILE* bar)
    : lines_(lines), linesAreTerminal_(linesAreTerminal), bar_(bar) {}

void ProgressDisplay::FileDone(const FileResult& result, const BatchPresenter& batch) {
    if (result.status == kTaskFailed || !linesAreTerminal_) {
        if (linesAreTerminal_) {
            Clear();
        }
        // A name must not start a line of its own nor talk to the terminal.
        const std::string input = QuotedName(result.input);
        if (result.ok) {
            std::fprintf(lines_, "OK  %s -> %s\n", input.c_str(),
                         QuotedName(result.output).c_str());
        } else if (result.status == kTaskSkipped) {
            std::fprintf(lines_, "SKIPPED %s: %s exists\n", input.c_str(),
                         QuotedName(result.output).c_str());
        } else if (result.status == kTaskStopped) {
            std::fprintf(lines_, "STOPPED %s\n", input.c_str());
        } else {
            std::fprintf(lines_, "FAILED %s: %s\n", input.c_str(),
                         EscapedControls(result.reason).c_str());
        }
        std::fflush(lines_);
    }
    DrawBar(batch);
}

void ProgressDisplay::Tick(const BatchPresenter& batch) {
    DrawBar(batch);
}

void ProgressDisplay::Clear() {
    if (!bar_ || !barShown_) {
        return;
    }
    std::fputs("\r\033[K", bar_);
    std::fflush(bar_);
    barShown_ = false;
}

void ProgressDisplay::DrawBar(const BatchPresenter& batch) {
    if (!bar_) {
        return;
    }
    std::fprintf(bar_, "\r\033[K%s", batch.BarLine(BatchPresenter::Clock::now()).c_str());
    std::fflush(bar_);
    barShown_ = true;
}

void PrintSummary(std::FILE* out, const BatchJob& job, const BatchReport& report) {
    const auto nameOf = [&](int id) {
        const auto it = report.fileOf.find(id);
        return it == report.fileOf.end() ? std::string() : QuotedName(job.files[it->second]);
    };
    std::fputs(report.batch.SummaryText(BatchPresenter::Clock::now(), nameOf).c_str(), out);
    std::fflush(out);
}

} // namespace velquist
