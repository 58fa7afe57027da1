#pragma once

#include "convert/convert_task.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velquist {

// What the engine asks a worker to convert: one record (worker_protocol.h) of fixed,
// typed fields, in this order:
//   version ("1"), format (jpg|png|bmp), quality (1..100), keep Exif (0|1),
//   strip location (0|1), max size (0..65500), images (0: the primary only, else
//   1..kMaxImagesPerFile), replace (0|1), decode threads (-1: as if alone, 0..256),
//   time limit in ms (0..kMaxRequestTimeLimit), memory estimate in bytes,
//   header known (0|1), the header's facts (kHeaderFactFields of them, see HeifHeader),
//   input path, output path.
// A worker that gets no header facts (header known 0) reads the header itself.
inline constexpr char kRequestVersion[] = "1";
inline constexpr std::size_t kHeaderFactFields = 15;
inline constexpr std::size_t kRequestFields = 14 + kHeaderFactFields;
inline constexpr std::size_t kMaxRequestPathBytes = 4096;
inline constexpr int kMaxRequestDecodeThreads = 256;
inline constexpr long long kMaxRequestTimeLimitMs = 24LL * 60 * 60 * 1000;

std::vector<std::string> ConversionRequestFields(const ConvertTask& task);
// The request as one record, ready for a worker's input.
std::string EncodeConversionRequest(const ConvertTask& task);

// The task a request asks for; nullopt with *error set to the first rule it breaks.
// Nothing of a refused request is used. The task's decodeThreads keeps -1 for "as if
// alone" (the worker picks its share of the machine).
std::optional<ConvertTask> DecodeConversionRequest(const std::vector<std::string>& fields,
                                                   std::string* error);

} // namespace velquist
