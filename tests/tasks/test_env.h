#pragma once

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

  private:
    std::string path_;
};

std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);

// The per-process stand-in for the user's home (HOME and the XDG folders point into it),
// so that nothing the engine does reaches the real home.
const std::string& FakeHome();

} // namespace velquist::testing
