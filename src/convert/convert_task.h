#pragma once

#include "task_status.h"

#include <string>

namespace velquist {

// One conversion job. Paths are narrow text (UTF-8 on Linux).
struct ConvertTask {
    TaskOwner* owner = nullptr;
    std::string inputPath;
    std::string outputPath;
    std::string format; // "jpg", "png" or "bmp"
    int quality = 90;
    bool keepExif = true;
    int task_id = 0;

    // Copies the description into a heap task and runs ConvertWorker on a detached thread.
    // The owner frees the task object once the final status has arrived (see TaskOwner).
    static ConvertTask* Start(const ConvertTask& description);
};

// The job's thread procedure: posts processing, converts, posts succeeded or failed.
void ConvertWorker(ConvertTask* task);

// Result of a synchronous conversion, for the isolated worker process.
struct ConversionOutcome {
    TaskStatus status = kTaskFailed;
    std::string diagnostics; // the lines the job wrote to standard error
};

// Runs one conversion on the calling thread without posting anything. Diagnostic lines
// go to standard error and "Written to <path>" to standard output, as they happen.
ConversionOutcome RunConversion(const ConvertTask& task);
// The same, with echo false for callers that present the outcome themselves.
ConversionOutcome RunConversion(const ConvertTask& task, bool echo);

} // namespace velquist
