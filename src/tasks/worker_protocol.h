#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace velquist {

// Requests and answers between the engine and a long-lived worker are records of byte
// strings: the number of fields, then each field, every one ending in a NUL byte. File names
// are bytes and may hold anything but NUL, so no quoting is needed; a shell script can speak
// it with `read -d ''` and printf.
//   request: see conversion_request.h
//   answer:  "0" (converted) or "1" REASON [KIND] (KIND: a FailureKind's number)
std::string EncodeRecord(const std::vector<std::string>& fields);

// Collects records from a stream that arrives in pieces. A record that breaks the format
// or the size caps marks the stream broken: a worker that sends one has gone astray.
class RecordReader {
  public:
    static constexpr std::size_t kMaxFields = 32;
    static constexpr std::size_t kMaxRecordBytes = 256 * 1024;

    void Feed(const char* data, std::size_t size);
    // The oldest complete record, if any.
    std::optional<std::vector<std::string>> Take();
    bool Broken() const { return broken_; }
    // Bytes of an unfinished record are waiting.
    bool Pending() const { return !buffer_.empty(); }

  private:
    bool ParseOne();

    std::string buffer_;
    std::vector<std::vector<std::string>> ready_;
    bool broken_ = false;
};

inline constexpr char kWorkerLoopFlag[] = "--worker-loop";
// The one-shot worker reads a single request on standard input and answers with its exit
// status.
inline constexpr char kWorkerFlag[] = "--worker";
inline constexpr char kAnswerConverted[] = "0";
inline constexpr char kAnswerFailed[] = "1";

} // namespace velquist
