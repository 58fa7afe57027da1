#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace velquist {

// Passes a child's output on line by line. A worker that goes astray may print binary
// garbage or endless text: control characters become "?", an overlong line is cut into
// pieces, and past a total budget the rest is dropped with one notice line.
class LineForwarder {
  public:
    static constexpr std::size_t kMaxLine = 4096;
    static constexpr std::size_t kBudget = 64 * 1024;

    explicit LineForwarder(std::FILE* target) : target_(target) {}

    void Feed(const char* data, std::size_t size);
    // Emits an unterminated last line; further calls do nothing.
    void Finish();
    // The last non-empty line seen (also when it was not forwarded any more).
    const std::string& LastLine() const { return last_; }

  private:
    void EmitLine();

    std::FILE* target_;
    std::string line_;
    std::string last_;
    std::size_t forwarded_ = 0;
    bool truncated_ = false;
};

} // namespace velquist
