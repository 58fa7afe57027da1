#include "convert_task.h"

#include "diagnostics.h"
#include "encoder.h"
#include "heif_handles.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

namespace velquist {
namespace {

// heif_check_filetype looks at the ftyp box, which sits in the first 12 bytes.
constexpr int kFileTypeBytes = 12;

heif_filetype_result CheckFileType(const std::string& path) {
    uint8_t bytes[kFileTypeBytes] = {};
    size_t count = 0;
    std::unique_ptr<FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (file)
        count = std::fread(bytes, 1, sizeof bytes, file.get());
    return heif_check_filetype(bytes, static_cast<int>(count));
}

// Position of the primary image among the top-level images, for the diagnostic lines.
int PrimaryIndex(heif_context* ctx, int count) {
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(ctx, &primary).code != heif_error_Ok)
        return 0;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), count);
    for (int i = 0; i < listed; ++i) {
        if (ids[static_cast<size_t>(i)] == primary)
            return i;
    }
    return 0;
}

bool DecodeAndWrite(heif_context* ctx, Encoder& encoder, const ConvertTask& task, Diagnostics& diag,
                    bool echo) {
    const int count = heif_context_get_number_of_top_level_images(ctx);
    if (count <= 0) {
        diag.Write("File doesn't contain any images\n");
        return false;
    }
    const int index = PrimaryIndex(ctx, count);
    heif_image_handle* rawHandle = nullptr;
    heif_error error = heif_context_get_primary_image_handle(ctx, &rawHandle);
    HeifHandlePtr handle(rawHandle);
    if (error.code != heif_error_Ok) {
        diag.Printf("Could not read HEIF image %d: %s\n", index, error.message);
        return false;
    }
    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    HeifDecodingOptionsPtr options(heif_decoding_options_alloc());
    encoder.AdjustDecodingOptions(handle.get(), options.get());
    const int bitDepth = heif_image_handle_get_luma_bits_per_pixel(handle.get());
    if (bitDepth < 0) {
        diag.Write("Input image has undefined bit-depth\n");
        return false;
    }
    heif_image* rawImage = nullptr;
    error = heif_decode_image(handle.get(), &rawImage, encoder.PreferredColorspace(hasAlpha),
                              encoder.PreferredChroma(hasAlpha, bitDepth), options.get());
    HeifImagePtr image(rawImage);
    options.reset();
    if (error.code != heif_error_Ok || !image) {
        diag.Printf("Could not decode HEIF image: %d: %s\n", index, error.message);
        return false;
    }
    if (!encoder.WriteImage(handle.get(), image.get(), task.outputPath, diag)) {
        diag.Write("could not write image\n");
        return false;
    }
    if (echo) {
        std::printf("Written to %s\n", task.outputPath.c_str());
        std::fflush(stdout);
    }
    return true;
}

// A HEIF file named like its own output ("photo.jpg" converted to jpg beside itself)
// would be replaced by the conversion: the source is the one copy of the photo.
bool WouldReplaceInput(const ConvertTask& task) {
    std::error_code error;
    return std::filesystem::equivalent(task.inputPath, task.outputPath, error) && !error;
}

bool Convert(const ConvertTask& task, Diagnostics& diag, bool echo) {
    std::unique_ptr<Encoder> encoder = CreateEncoder(task.format, task.quality, task.keepExif);
    if (!encoder) {
        diag.Printf("Unknown output format: %s\n", task.format.c_str());
        return false;
    }
    HeifContextPtr ctx(heif_context_alloc());
    if (!ctx) {
        diag.Write("Could not create HEIF context\n");
        return false;
    }
    const heif_error error =
        heif_context_read_from_file(ctx.get(), task.inputPath.c_str(), nullptr);
    if (error.code != heif_error_Ok) {
        diag.Printf("Could not read HEIF file: %s\n", error.message);
        return false;
    }
    const heif_filetype_result type = CheckFileType(task.inputPath);
    if (type == heif_filetype_no) {
        diag.Write("Input file is not an HEIF file\n");
        return false;
    }
    if (type == heif_filetype_yes_unsupported) {
        diag.Write("Input file is an unsupported HEIF file type\n");
        return false;
    }
    if (WouldReplaceInput(task)) {
        diag.Printf("Output file %s is the input file, not overwritten\n", task.outputPath.c_str());
        return false;
    }
    return DecodeAndWrite(ctx.get(), *encoder, task, diag, echo);
}

void Post(TaskOwner* owner, int taskId, TaskStatus status) {
    auto* report = new TaskStatusReport{taskId, status};
    if (owner == nullptr || !owner->PostTaskStatus(report))
        delete report;
}

} // namespace

ConvertTask* ConvertTask::Start(const ConvertTask& description) {
    auto* task = new ConvertTask(description);
    std::thread(ConvertWorker, task).detach();
    return task;
}

void ConvertWorker(ConvertTask* task) {
    // The owner may free the task as soon as the final status arrives: work on a copy.
    const ConvertTask job = *task;
    Post(job.owner, job.task_id, kTaskProcessing);
    const ConversionOutcome outcome = RunConversion(job);
    Post(job.owner, job.task_id, outcome.status);
}

ConversionOutcome RunConversion(const ConvertTask& task) {
    return RunConversion(task, true);
}

ConversionOutcome RunConversion(const ConvertTask& task, bool echo) {
    Diagnostics diag(echo);
    ConversionOutcome outcome;
    outcome.status = Convert(task, diag, echo) ? kTaskSucceeded : kTaskFailed;
    outcome.diagnostics = diag.Text();
    return outcome;
}

} // namespace velquist
