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

    // The errno of the system call that made the job fail (a write, an open), so that the
    // final reason can say "No space left on device" rather than only that writing failed.
    void NoteSystemError(int error) {
        if (error != 0) {
            systemError_ = error;
        }
    }
    int SystemError() const { return systemError_; }

  private:
    bool echo_;
    int systemError_ = 0;
    std::string text_;
};

} // namespace velquist
