#pragma once

#include <string>

namespace velquist {

// Collects a job's diagnostic lines; optionally echoes each one to standard error as it
// arrives so that a crash later in the job still leaves the earlier lines visible.
class Diagnostics {
  public:
    explicit Diagnostics(bool echoToStderr) : echo_(echoToStderr) {}

    void Write(const std::string& text);
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const std::string& Text() const { return text_; }

  private:
    bool echo_;
    std::string text_;
};

} // namespace velquist
