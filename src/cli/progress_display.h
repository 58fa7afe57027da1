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

    void FileDone(const FileResult& result, const BatchPresenter& batch) override;
    void Tick(const BatchPresenter& batch) override;
    // Removes the bar so the summary starts on a clean line.
    void Clear();

  private:
    void DrawBar(const BatchPresenter& batch);

    std::FILE* lines_;
    bool linesAreTerminal_;
    std::FILE* bar_;
    bool barShown_ = false;
};

// The batch's summary: the counts, then one line per failed file with its reason.
void PrintSummary(std::FILE* out, const BatchJob& job, const BatchReport& report);

} // namespace velquist
