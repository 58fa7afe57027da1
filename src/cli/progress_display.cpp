#include "progress_display.h"

#include "util/shown_name.h"

#include <string>

namespace velquist {
namespace {

constexpr int kBarWidth = 24;

std::string Clock(double seconds) {
    const long whole = static_cast<long>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

} // namespace

std::string ProgressLine(std::size_t done, std::size_t total, std::size_t failed, double seconds) {
    const int filled = total == 0 ? kBarWidth : static_cast<int>(done * kBarWidth / total);
    std::string line = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "]";
    char text[160];
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0.0;
    std::snprintf(text, sizeof text, " %zu/%zu files, %zu failed, %.2f files/s, %s", done, total,
                  failed, rate, Clock(seconds).c_str());
    return line + text;
}

ProgressDisplay::ProgressDisplay(std::FILE* lines, bool linesAreTerminal, std::FILE* bar)
    : lines_(lines), linesAreTerminal_(linesAreTerminal), bar_(bar) {}

void ProgressDisplay::FileDone(const FileResult& result, std::size_t done, std::size_t total,
                               std::size_t failed, double seconds) {
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
    DrawBar(done, total, failed, seconds);
}

void ProgressDisplay::Tick(std::size_t done, std::size_t total, std::size_t failed,
                           double seconds) {
    DrawBar(done, total, failed, seconds);
}

void ProgressDisplay::Clear() {
    if (!bar_ || !barShown_) {
        return;
    }
    std::fputs("\r\033[K", bar_);
    std::fflush(bar_);
    barShown_ = false;
}

void ProgressDisplay::DrawBar(std::size_t done, std::size_t total, std::size_t failed,
                              double seconds) {
    if (!bar_) {
        return;
    }
    std::fprintf(bar_, "\r\033[K%s", ProgressLine(done, total, failed, seconds).c_str());
    std::fflush(bar_);
    barShown_ = true;
}

void PrintSummary(std::FILE* out, const BatchReport& report) {
    std::size_t converted = 0;
    for (const FileResult& file : report.files) {
        converted += file.ok ? 1 : 0;
    }
    const std::size_t total = converted + report.failed + report.skipped + report.notConverted;
    const double rate = report.seconds > 0 ? static_cast<double>(converted) / report.seconds : 0.0;
    std::fprintf(out, "%zu of %zu files converted in %.1f s (%.2f files/s)", converted, total,
                 report.seconds, rate);
    if (report.skipped != 0) {
        std::fprintf(out, "; %zu skipped (output exists)", report.skipped);
    }
    if (report.notConverted != 0) {
        std::fprintf(out, "; stopped, %zu not converted", report.notConverted);
    }
    if (report.failed == 0) {
        std::fputs(".\n", out);
        std::fflush(out);
        return;
    }
    std::fprintf(out, "; %zu failed:\n", report.failed);
    for (const FileResult& file : report.files) {
        if (file.status == kTaskFailed) {
            std::fprintf(out, "  %s: %s\n", QuotedName(file.input).c_str(),
                         EscapedControls(file.reason).c_str());
        }
    }
    std::fflush(out);
}

} // namespace velquist
