#pragma once

#include "conversion_settings.h"
#include "heif_header.h"
#include "task_status.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velquist {

inline constexpr int kLibheifDecodeThreads = -1;

// One conversion job. Paths are the file names' bytes.
struct ConvertTask {
    std::string inputPath;
    std::string outputPath;
    ConversionSettings settings; // its outputDir is already part of outputPath
    int task_id = 0;
    std::uint64_t memoryEstimate = 0; // what the engine admitted the job with; 0: unknown
    // With settings.allImages: how many images may be written, the primary first, because
    // the engine reserved that many output names (outputPath and its numbered ones);
    // 0: as many as the file holds, up to kMaxImagesPerFile.
    int imageOutputs = 0;
    // A file under an output name may be written over; otherwise the output appears only
    // where no file is.
    bool replaceExisting = true;
    // libheif's threads for decoding the image's tiles (0: on the job's own thread), as the
    // engine shares the cores among the jobs running at once; kLibheifDecodeThreads leaves
    // libheif's own choice.
    int decodeThreads = kLibheifDecodeThreads;
    // How long the conversion may run, from the engine's policy; 0: the runner's own limit.
    std::chrono::milliseconds timeLimit{0};
    // The file's header as the engine read it for the admission, so that it is read once
    // per conversion; unset: the conversion reads it itself.
    std::optional<HeifHeader> header;
};

// Result of a synchronous conversion, for the isolated worker process.
struct ConversionOutcome {
    TaskStatus status = kTaskFailed;
    std::string diagnostics; // the lines the job wrote to standard error
    FailureKind kind = FailureKind::kOther; // of a failure
};

// Runs one conversion on the calling thread without posting anything. Diagnostic lines
// go to standard error and "Written to <path>" to standard output, as they happen.
ConversionOutcome RunConversion(const ConvertTask& task);
// The same, with echo false for callers that present the outcome themselves.
ConversionOutcome RunConversion(const ConvertTask& task, bool echo);

} // namespace velquist
