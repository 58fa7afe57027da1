#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velquist {

// One line velquist-convert printed about a file (not on a terminal).
struct ConverterLine {
    enum class Kind { kOther, kConverted, kFailed, kSkipped, kStopped };
    Kind kind = Kind::kOther;
    // The input as the run knows it (bytes); empty when the line named no input of the run.
    std::string input;
    std::string detail; // the output or the reason, as printed
};

struct ConverterTally {
    std::size_t converted = 0;
    std::size_t failed = 0;
    std::size_t skipped = 0;
    std::size_t stopped = 0;
    std::string firstConverted; // input of the first converted file
    std::size_t Done() const { return converted + failed + skipped + stopped; }
    void Add(const ConverterLine& line);
};

// Splits the converter's standard output into lines and tells which file each is about.
// Names are printed quoted when they hold control characters or quotes and otherwise as
// they are, so "a -> b.heic" or "x: y.heic" may be a name: a line is matched against the
// run's own inputs in their printed form rather than split at the first separator.
class ConverterLines {
  public:
    explicit ConverterLines(const std::vector<std::string>& inputs);

    // The lines completed by these bytes, in order.
    std::vector<ConverterLine> Feed(std::string_view bytes);
    ConverterLine Classify(std::string_view line) const;

  private:
    // The input whose printed form is the longest that rest starts with, followed by sep
    // (or by the end of rest when sep is empty); fills line->input and line->detail.
    void MatchInput(std::string_view rest, std::string_view sep, ConverterLine* line) const;

    std::unordered_map<std::string, std::string> byShown_; // printed form -> input
    std::string pending_;
};

} // namespace velquist
