#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velquist {

// An INI text held as its lines, so that a rewrite keeps every section, key, comment and
// their order. Section and key names match without regard to letter case, as the Windows
// private-profile functions do; the first matching section and key win.
class IniDocument {
  public:
    static IniDocument Parse(const std::string& text);

    std::optional<std::string> Get(const std::string& section, const std::string& key) const;
    // False when a name or value could not be stored as one line without changing the
    // file's structure (line breaks, "]" in a section name, "=" or ";" opening a key).
    bool Set(const std::string& section, const std::string& key, const std::string& value);
    std::string Serialize() const;

  private:
    std::vector<std::string> lines_;
};

} // namespace velquist
