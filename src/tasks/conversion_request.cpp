#include "conversion_request.h"

#include "convert/top_level_images.h"
#include "worker_protocol.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>

namespace velquist {
namespace {

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint64_t kMaxU64 = std::numeric_limits<std::uint64_t>::max();
// The largest side a grid box can describe in tiles, the most tiles and top-level images
// the header reader takes from one file.
constexpr std::uint64_t kMaxGridSide = 256;
constexpr std::uint64_t kMaxTiles = 1u << 20;
constexpr std::uint64_t kMaxListedImages = 1u << 16;
constexpr std::uint64_t kMaxSampleBits = 255;
constexpr std::uint64_t kMaxOutputSide = 65500;
// Far beyond any machine's memory, yet with room for the worker's headroom on top.
constexpr std::uint64_t kMaxEstimateBytes = std::uint64_t{1} << 52;
constexpr int kMinQuality = 1;
constexpr int kMaxQuality = 100;

std::string Bit(bool value) {
    return value ? "1" : "0";
}

void AppendHeader(const ConvertTask& task, std::vector<std::string>& fields) {
    const HeifHeader h = task.header.value_or(HeifHeader{});
    fields.push_back(Bit(task.header.has_value()));
    for (const std::uint64_t value :
         {std::uint64_t{h.parsed}, std::uint64_t{h.width}, std::uint64_t{h.height},
          static_cast<std::uint64_t>(h.bitDepth), std::uint64_t{h.hasAlpha},
          std::uint64_t{h.isGrid}, static_cast<std::uint64_t>(h.gridRows),
          static_cast<std::uint64_t>(h.gridColumns), static_cast<std::uint64_t>(h.tileCount),
          std::uint64_t{h.tileWidth}, std::uint64_t{h.tileHeight},
          static_cast<std::uint64_t>(h.imageCount), h.largestPixels,
          static_cast<std::uint64_t>(h.largestBitDepth), std::uint64_t{h.anyAlpha}}) {
        fields.push_back(std::to_string(value));
    }
}

// Takes the fields in order; the first one that breaks its rule stops the reading.
class FieldReader {
  public:
    explicit FieldReader(const std::vector<std::string>& fields) : fields_(fields) {}

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }

    std::uint64_t Number(const char* name, std::uint64_t min, std::uint64_t max) {
        return Parse<std::uint64_t>(name, min, max);
    }

    // Signed values: only where a negative one means something.
    long long Integer(const char* name, long long min, long long max) {
        return Parse<long long>(name, min, max);
    }

    bool Flag(const char* name) {
        const std::string* field = Next();
        if (field && *field != "0" && *field != "1") {
            Refuse(std::string(name) + " must be 0 or 1");
        }
        return field && *field == "1";
    }

    std::string Text() {
        const std::string* field = Next();
        return field ? *field : std::string();
    }

    std::string Path(const char* name) {
        std::string path = Text();
        if (Ok() && (path.empty() || path.size() > kMaxRequestPathBytes ||
                     path.find('\0') != std::string::npos)) {
            Refuse(std::string(name) + " must be a path of 1 to " +
                   std::to_string(kMaxRequestPathBytes) + " bytes without NUL");
        }
        return path;
    }

    void Refuse(std::string why) {
        if (Ok()) {
            error_ = "invalid request: " + std::move(why);
        }
    }

  private:
    template <typename T> T Parse(const char* name, T min, T max) {
        const std::string* field = Next();
        T value = 0;
        if (!field) {
            return 0;
        }
        const char* end = field->data() + field->size();
        const auto [stop, code] = std::from_chars(field->data(), end, value);
        if (field->empty() || code != std::errc() || stop != end || value < min || value > max) {
            Refuse(std::string(name) + " must be a number from " + std::to_string(min) + " to " +
                   std::to_string(max));
            return 0;
        }
        return value;
    }

    const std::string* Next() {
        if (!Ok() || at_ >= fields_.size()) {
            return nullptr;
        }
        return &fields_[at_++];
    }

    const std::vector<std::string>& fields_;
    std::size_t at_ = 0;
    std::string error_;
};

template <typename T, typename U> T As(U value) {
    return static_cast<T>(value);
}

HeifHeader ReadHeader(FieldReader& in) {
    HeifHeader h;
    h.parsed = in.Flag("header parsed");
    h.width = As<std::uint32_t>(in.Number("header width", 0, kMaxU32));
    h.height = As<std::uint32_t>(in.Number("header height", 0, kMaxU32));
    h.bitDepth = As<int>(in.Number("header bit depth", 0, kMaxSampleBits));
    h.hasAlpha = in.Flag("header alpha");
    h.isGrid = in.Flag("header grid");
    h.gridRows = As<int>(in.Number("grid rows", 0, kMaxGridSide));
    h.gridColumns = As<int>(in.Number("grid columns", 0, kMaxGridSide));
    h.tileCount = As<int>(in.Number("tile count", 0, kMaxTiles));
    h.tileWidth = As<std::uint32_t>(in.Number("tile width", 0, kMaxU32));
    h.tileHeight = As<std::uint32_t>(in.Number("tile height", 0, kMaxU32));
    h.imageCount = As<int>(in.Number("image count", 0, kMaxListedImages));
    h.largestPixels = in.Number("largest pixels", 0, kMaxU64);
    h.largestBitDepth = As<int>(in.Number("largest bit depth", 0, kMaxSampleBits));
    h.anyAlpha = in.Flag("any alpha");
    return h;
}

void ReadSettings(FieldReader& in, ConvertTask& task) {
    const std::string format = in.Text();
    const std::optional<OutputFormat> parsed = ParseOutputFormat(format);
    if (!parsed) {
        in.Refuse("unknown output format: " + format);
    }
    task.settings.format = parsed.value_or(OutputFormat::kJpg);
    task.settings.quality = As<int>(in.Number("quality", kMinQuality, kMaxQuality));
    task.settings.keepExif = in.Flag("keep Exif");
    task.settings.stripLocation = in.Flag("strip location");
    task.settings.maxSize = As<int>(in.Number("max size", 0, kMaxOutputSide));
    task.imageOutputs = As<int>(in.Number("images", 0, kMaxImagesPerFile));
    task.settings.allImages = task.imageOutputs > 0;
    task.replaceExisting = in.Flag("replace");
}

} // namespace

std::vector<std::string> ConversionRequestFields(const ConvertTask& task) {
    // With every image written and no count reserved, as many as are ever written.
    const int images = !task.settings.allImages ? 0
                       : task.imageOutputs > 0  ? task.imageOutputs
                                                : static_cast<int>(kMaxImagesPerFile);
    // Past these caps a limit means nothing more: the runner's own time limit is far lower,
    // and no budget admits such an estimate.
    const long long timeLimit =
        std::clamp<long long>(task.timeLimit.count(), 0, kMaxRequestTimeLimitMs);
    const std::uint64_t estimate = std::min(task.memoryEstimate, kMaxEstimateBytes);
    std::vector<std::string> fields{kRequestVersion,
                                    FormatName(task.settings.format),
                                    std::to_string(task.settings.quality),
                                    Bit(task.settings.keepExif),
                                    Bit(task.settings.stripLocation),
                                    std::to_string(task.settings.maxSize),
                                    std::to_string(images),
                                    Bit(task.replaceExisting),
                                    std::to_string(task.decodeThreads),
                                    std::to_string(timeLimit),
                                    std::to_string(estimate)};
    AppendHeader(task, fields);
    fields.push_back(task.inputPath);
    fields.push_back(task.outputPath);
    return fields;
}

std::string EncodeConversionRequest(const ConvertTask& task) {
    return EncodeRecord(ConversionRequestFields(task));
}

std::optional<ConvertTask> DecodeConversionRequest(const std::vector<std::string>& fields,
                                                   std::string* error) {
    FieldReader in(fields);
    if (fields.empty() || fields[0] != kRequestVersion) {
        in.Refuse("unknown version");
    } else if (fields.size() != kRequestFields) {
        in.Refuse("expected " + std::to_string(kRequestFields) + " fields, got " +
                  std::to_string(fields.size()));
    }
    in.Text(); // the version, checked above
    ConvertTask task;
    ReadSettings(in, task);
    task.decodeThreads =
        As<int>(in.Integer("decode threads", kLibheifDecodeThreads, kMaxRequestDecodeThreads));
    task.timeLimit = std::chrono::milliseconds(in.Integer("time limit", 0, kMaxRequestTimeLimitMs));
    task.memoryEstimate = in.Number("memory estimate", 0, kMaxEstimateBytes);
    const bool known = in.Flag("header known");
    const HeifHeader header = ReadHeader(in);
    if (known) {
        task.header = header;
    }
    task.inputPath = in.Path("input");
    task.outputPath = in.Path("output");
    if (!in.Ok()) {
        *error = in.Error();
        return std::nullopt;
    }
    return task;
}

} // namespace velquist
