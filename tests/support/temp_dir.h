#pragma once

#include <string>

namespace velquist::test {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

} // namespace velquist::test
