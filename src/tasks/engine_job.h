#pragma once

#include "convert/convert_task.h"
#include "job_runner.h"
#include "task_owner.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

namespace velquist {

class JobBoard;

// How long one conversion may run: base, plus perMegapixel for each megapixel of what it
// writes as the header claims it. A file whose size cannot be read counts as
// unknownMegapixels. Far beyond what a loaded machine or a sanitizer build needs for a real
// photo, so only a conversion that no longer progresses meets it.
struct ConversionTimeLimit {
    std::chrono::milliseconds base{std::chrono::seconds(30)};
    std::chrono::milliseconds perMegapixel{std::chrono::seconds(4)};
    std::uint64_t unknownMegapixels = 50;
};

// Starts fn on a new detached thread; false when no thread could be made.
using ThreadStarter = std::function<bool(std::function<void()> fn)>;
bool StartDetachedThread(std::function<void()> fn);

// One dispatched conversion, with what its thread needs of the engine. The task carries
// the header the engine read for it, so the job reads no file itself before its runner.
struct EngineJob {
    TaskOwner* owner;
    ConvertTask task;
    std::shared_ptr<JobRunner> runner;
    std::shared_ptr<JobBoard> board;
    std::shared_ptr<std::atomic<bool>> cancel;
    ConversionTimeLimit timeLimit;
};

// The whole life of one job on its own thread: posts processing, waits until its memory
// estimate fits the budget, runs the runner within its time limit, stamps the capture time
// on a written output, sweeps what an interrupted worker left, records and posts the final
// status, and leaves the board (the job's Enter was the dispatcher's).
void RunEngineJob(EngineJob job);

} // namespace velquist
