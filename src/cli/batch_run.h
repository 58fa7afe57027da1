#pragma once

#include "batch_settings.h"
#include "tasks/batch_presenter.h"
#include "tasks/job_runner.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace velquist {

struct FileResult {
    int id = 0; // the engine's
    std::string input;
    std::string subFolder; // as the run was given it
    std::string output;    // the name the engine gave it, also when the conversion failed
    bool ok = false;       // converted
    TaskStatus status = kTaskFailed;
    std::string reason; // why it failed
};

struct BatchReport {
    std::vector<FileResult> files; // in the order they finished, stopped ones included
    BatchPresenter batch;          // the counts, the files to retry and the texts
    std::map<int, std::size_t> fileOf; // the engine's id: the file's place in BatchJob::files
};

// Told about every finished file, and now and then while files are converting.
class BatchObserver {
  public:
    virtual ~BatchObserver() = default;
    virtual void FileDone(const FileResult& result, const BatchPresenter& batch) = 0;
    virtual void Tick(const BatchPresenter& batch) = 0;
};

struct BatchJob {
    std::vector<std::string> files;
    // Empty, or for each file its subfolder below settings.outputDir (mirrored folder
    // trees); ignored when outputs go beside their inputs.
    std::vector<std::string> subFolders;
    ConversionSettings settings;
    std::shared_ptr<JobRunner> runner;
    int jobs = 3; // files converted at once, 1..3
    std::chrono::milliseconds tickInterval{250};
    std::uint64_t memoryBudget = 0; // bytes; 0: half the machine's available memory
    // Turns non-zero (the signal's number) when the run must stop: nothing more starts,
    // the running files are stopped and RunBatch returns.
    const std::atomic<int>* stop = nullptr;
};

// Converts the files through the task engine and waits until every one has finished.
BatchReport RunBatch(const BatchJob& job, BatchObserver* observer);

} // namespace velquist
