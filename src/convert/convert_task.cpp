#include "convert_task.h"

#include "atomic_output_file.h"
#include "diagnostics.h"
#include "encoder.h"
#include "heif_handles.h"
#include "heif_header.h"
#include "memory_estimate.h"
#include "resize.h"
#include "top_level_images.h"
#include "util/handles.h"
#include "util/shown_name.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velquist {
namespace {

// libheif refuses larger sides itself. No output format here carries more than JPEG's
// 65500 pixels a side, and memory is guarded by the estimate, not by this.
constexpr int kMaxImageSide = 65500;

bool IsSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

// Opens nothing for long: only tells whether the input can be read at all, and why not.
int InputError(const std::string& path) {
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        return errno;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) {
        return errno;
    }
    return S_ISREG(info.st_mode) ? 0 : (S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
}

// The address space this process may still use, or 0 when it is not limited.
std::uint64_t AddressSpaceLimit() {
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 0;
    }
    return limit.rlim_cur;
}

// Refuses what the header shows to be malformed or too large before a decoder sees it.
bool CheckHeader(const ConvertTask& task, Diagnostics& diag, FailureKind* kind) {
    const HeifHeader header = task.header ? *task.header : ReadHeifHeader(task.inputPath);
    const std::string grid = GridProblem(header);
    if (!grid.empty()) {
        diag.Printf("%s\n", grid.c_str());
        *kind = FailureKind::kNotHeic;
        return false;
    }
    const std::uint64_t needed = EstimateJobMemory(header, task.settings);
    const std::uint64_t limit = AddressSpaceLimit();
    if (limit != 0 && needed > limit) {
        diag.Printf("%s\n", TooLargeText(header, needed).c_str());
        *kind = FailureKind::kTooLarge;
        return false;
    }
    return true;
}

// A failed write by the system's reason: the window stops the whole batch for a full disk
// or a vanished folder, since every file after it would fail the same way.
FailureKind WriteFailureKind(int error) {
    switch (error) {
    case 0:
        return FailureKind::kOther;
    case ENOSPC:
    case EDQUOT:
        return FailureKind::kDiskFull;
    case ENOENT:
    case ENOTDIR:
        return FailureKind::kOutputFolderGone;
    default:
        return FailureKind::kCannotWrite;
    }
}

// Position of the primary image among the top-level images, for the diagnostic lines.
int PrimaryIndex(heif_context* ctx, int count) {
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(ctx, &primary).code != heif_error_Ok) {
        return 0;
    }
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    const int listed = heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), count);
    for (int i = 0; i < listed; ++i) {
        if (ids[static_cast<size_t>(i)] == primary) {
            return i;
        }
    }
    return 0;
}

// The decoded image shrunk to the long edge the settings ask for. libheif has already
// applied the rotation and mirroring, so the long edge is the one of the photo as shown.
bool FitToMaxSize(HeifImagePtr& image, int maxSize, Encoder& encoder, Diagnostics& diag) {
    const heif_channel channel = heif_image_has_channel(image.get(), heif_channel_interleaved)
                                     ? heif_channel_interleaved
                                     : heif_channel_Y;
    const std::optional<ScaledSize> size =
        FitLongEdge(heif_image_get_width(image.get(), channel),
                    heif_image_get_height(image.get(), channel), maxSize);
    encoder.SetResized(size.has_value());
    if (!size) {
        return true;
    }
    std::string error;
    HeifImagePtr resized = ResizeImage(image.get(), *size, &error);
    if (!resized) {
        diag.Printf("%s\n", error.c_str());
        return false;
    }
    image = std::move(resized);
    return true;
}

bool DecodeAndWriteHandle(heif_image_handle* handle, int index, Encoder& encoder,
                          const std::string& path, int maxSize, Diagnostics& diag, bool echo) {
    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle) != 0;
    HeifDecodingOptionsPtr options(heif_decoding_options_alloc());
    encoder.AdjustDecodingOptions(handle, options.get());
    const int bitDepth = heif_image_handle_get_luma_bits_per_pixel(handle);
    if (bitDepth < 0) {
        diag.Write("Input image has undefined bit-depth\n");
        return false;
    }
    heif_image* rawImage = nullptr;
    const heif_error error =
        heif_decode_image(handle, &rawImage, encoder.PreferredColorspace(hasAlpha),
                          encoder.PreferredChroma(hasAlpha, bitDepth), options.get());
    HeifImagePtr image(rawImage);
    options.reset();
    if (error.code != heif_error_Ok || !image) {
        diag.Printf("Could not decode HEIF image: %d: %s\n", index, error.message);
        return false;
    }
    if (!FitToMaxSize(image, maxSize, encoder, diag)) {
        return false;
    }
    if (!encoder.WriteImage(handle, image.get(), path, diag)) {
        if (diag.SystemError() != 0) {
            diag.Printf("could not write image: %s\n", std::strerror(diag.SystemError()));
        } else {
            diag.Write("could not write image\n");
        }
        return false;
    }
    if (echo) {
        std::printf("Written to %s\n", QuotedName(path).c_str());
        std::fflush(stdout);
    }
    return true;
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
    const heif_error error = heif_context_get_primary_image_handle(ctx, &rawHandle);
    HeifHandlePtr handle(rawHandle);
    if (error.code != heif_error_Ok) {
        diag.Printf("Could not read HEIF image %d: %s\n", index, error.message);
        return false;
    }
    return DecodeAndWriteHandle(handle.get(), index, encoder, task.outputPath,
                                task.settings.maxSize, diag, echo);
}

// A HEIF file named like its own output ("photo.jpg" converted to jpg beside itself)
// would be replaced by the conversion: the source is the one copy of the photo.
bool WouldReplaceInput(const ConvertTask& task) {
    return IsSameFile(task.inputPath, task.outputPath);
}

// The engine admitted the job by the header's claims; libheif may see an image the
// header reader did not, and that one must not take more than the job was given.
bool FitsAdmittedMemory(const heif_image_handle* handle, size_t position, const ConvertTask& task,
                        Diagnostics& diag) {
    const std::uint64_t bound =
        task.memoryEstimate != 0 ? task.memoryEstimate : AddressSpaceLimit();
    const auto width = static_cast<std::uint32_t>(heif_image_handle_get_width(handle));
    const auto height = static_cast<std::uint32_t>(heif_image_handle_get_height(handle));
    const std::uint64_t needed = EstimateImageMemory(
        std::uint64_t{width} * height, heif_image_handle_get_luma_bits_per_pixel(handle),
        heif_image_handle_has_alpha_channel(handle) != 0, task.settings.format);
    if (bound == 0 || needed <= bound) {
        return true;
    }
    HeifHeader claim;
    claim.width = width;
    claim.height = height;
    diag.Printf("image %zu not written: %s\n", position + 1, TooLargeText(claim, needed).c_str());
    return false;
}

// One of the images after the primary: it fails alone, the others are still written.
bool WriteOtherImage(heif_context* ctx, const ImageOutput& output, size_t position,
                     Encoder& encoder, const ConvertTask& task, Diagnostics& diag, bool echo) {
    if (IsSameFile(task.inputPath, output.path)) {
        diag.Printf("Output file %s is the input file, not overwritten\n",
                    QuotedName(output.path).c_str());
        return false;
    }
    heif_image_handle* rawHandle = nullptr;
    const heif_error error = heif_context_get_image_handle(ctx, output.id, &rawHandle);
    HeifHandlePtr handle(rawHandle);
    if (error.code != heif_error_Ok) {
        diag.Printf("Could not read HEIF image %zu: %s\n", position + 1, error.message);
        return false;
    }
    if (!FitsAdmittedMemory(handle.get(), position, task, diag)) {
        return false;
    }
    return DecodeAndWriteHandle(handle.get(), static_cast<int>(position), encoder, output.path,
                                task.settings.maxSize, diag, echo);
}

// The primary image under outputPath, then every other top-level image under its
// numbered name, as many as the engine reserved names for and never more than
// kMaxImagesPerFile. Not writing an image the file holds is a failure of the job.
bool WriteAllImages(heif_context* ctx, Encoder& encoder, const ConvertTask& task, Diagnostics& diag,
                    bool echo) {
    const std::vector<ImageOutput> plan = PlanImageOutputs(ctx, task.outputPath);
    if (!DecodeAndWrite(ctx, encoder, task, diag, echo)) {
        return false;
    }
    const size_t reserved =
        task.imageOutputs > 0 ? static_cast<size_t>(task.imageOutputs) : kMaxImagesPerFile;
    const size_t limit = std::min(reserved, kMaxImagesPerFile);
    bool ok = true;
    for (size_t i = 1; i < plan.size() && i < limit; ++i) {
        ok = WriteOtherImage(ctx, plan[i], i, encoder, task, diag, echo) && ok;
    }
    if (plan.size() > limit) {
        diag.Printf("File holds %zu images; only the first %zu written (%s)\n", plan.size(), limit,
                    limit == kMaxImagesPerFile && reserved >= kMaxImagesPerFile
                        ? "the most written from one file"
                        : "as many as its header lists");
        ok = false;
    }
    return ok;
}

bool Convert(const ConvertTask& task, Diagnostics& diag, bool echo, FailureKind* kind) {
    std::unique_ptr<Encoder> encoder = CreateEncoder(task.settings);
    if (const int inputError = InputError(task.inputPath); inputError != 0) {
        diag.NoteSystemError(inputError);
        diag.Printf("Could not read HEIF file: %s\n", std::strerror(inputError));
        *kind = FailureKind::kUnreadable;
        return false;
    }
    if (!CheckHeader(task, diag, kind)) {
        return false;
    }
    HeifContextPtr ctx(heif_context_alloc());
    if (!ctx) {
        diag.Write("Could not create HEIF context\n");
        return false;
    }
    heif_context_set_maximum_image_size_limit(ctx.get(), kMaxImageSide);
    if (task.decodeThreads != kLibheifDecodeThreads) {
        heif_context_set_max_decoding_threads(ctx.get(), std::max(task.decodeThreads, 0));
    }
    // Whatever the ftyp box's major brand (an image sequence with a still cover, a
    // layered or MIAF file), what libheif opens and finds a primary image in converts.
    const heif_error error =
        heif_context_read_from_file(ctx.get(), task.inputPath.c_str(), nullptr);
    if (error.code != heif_error_Ok) {
        diag.Printf("Could not read HEIF file: %s\n", error.message);
        *kind = FailureKind::kNotHeic;
        return false;
    }
    if (WouldReplaceInput(task)) {
        diag.Printf("Output file %s is the input file, not overwritten\n",
                    QuotedName(task.outputPath).c_str());
        *kind = FailureKind::kCannotWrite;
        return false;
    }
    const bool written = task.settings.allImages
                             ? WriteAllImages(ctx.get(), *encoder, task, diag, echo)
                             : DecodeAndWrite(ctx.get(), *encoder, task, diag, echo);
    if (!written) {
        *kind = WriteFailureKind(diag.SystemError());
    }
    return written;
}

} // namespace

ConversionOutcome RunConversion(const ConvertTask& task) {
    return RunConversion(task, true);
}

ConversionOutcome RunConversion(const ConvertTask& task, bool echo) {
    Diagnostics diag(echo);
    const ScopedOutputCommit commit(task.replaceExisting ? OutputCommit::kReplace
                                                         : OutputCommit::kNoReplace);
    ConversionOutcome outcome;
    outcome.status = Convert(task, diag, echo, &outcome.kind) ? kTaskSucceeded : kTaskFailed;
    outcome.diagnostics = diag.Text();
    return outcome;
}

} // namespace velquist
