#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace velquist::testing {

// A temporary folder removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Creates a file (and its folders) below the folder; returns its full path.
    std::string Write(const std::string& relative, const std::string& text) const;
    // Writes an executable shell script below the folder; returns its full path.
    std::string Script(const std::string& name, const std::string& body) const;
    // A one-shot worker stand-in (bash): body runs with the fields of the request it read
    // on standard input as its arguments ($1 the version, $2 the format ... the input and
    // output last); a start without "--worker" or a cut request ends it with 9 or 3.
    std::string WorkerScript(const std::string& name, const std::string& body) const;

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// Polls `done` until it holds or `limit` passes (a bound for a stuck test, never a
// measure of speed); returns its last value.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(20));
// Processes (zombies aside) whose command line holds `text`, e.g. a script's path:
// the way to find a script's forks, which no parent waits for.
int LiveProcessesWith(const std::string& text);

// The per-process stand-in for the user's home (HOME and the XDG folders point into it),
// so that nothing the engine does reaches the real home.
const std::string& FakeHome();

} // namespace velquist::testing
