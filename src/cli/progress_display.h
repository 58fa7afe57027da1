#pragma once

#include "batch_run.h"

#include <cstdio>

namespace velquist {

// Shows a batch as it runs. With a terminal for the bar it redraws one line with the
// file counts and the rate; the per-file lines go to `lines`: every file when `lines`
// is not a terminal (logs, pipes), only the failures when it is.
class ProgressDisplay : public BatchObserver {
  public:
    ProgressDisplay(std::FILE* lines, bool linesAreTerminal, std::FILE* bar);

    void FileDone(const FileResult& result, std::size_t done, std::size_t total, std::size_t failed,
                  double seconds) override;
    void Tick(std::size_t done, std::size_t total, std::size_t failed, double seconds) override;
    // Removes the bar so the summary starts on a clean line.
    void Clear();

  private:
    void DrawBar(std::size_t done, std::size_t total, std::size_t failed, double seconds);

    std::FILE* lines_;
    bool linesAreTerminal_;
    std::FILE* bar_;
    bool barShown_ = false;
};

// "12 files in 3.4 s ..." followed by one line per failed file with its reason.
void PrintSummary(std::FILE* out, const BatchReport& report);

// The bar's text, e.g. "[#####.....]  5/10 files, 1 failed, 1.3 files/s, 0:04".
std::string ProgressLine(std::size_t done, std::size_t total, std::size_t failed, double seconds);

} // namespace velquist
