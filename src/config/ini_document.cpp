#include "ini_document.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace velquist {
namespace {

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<std::string> SectionOf(const std::string& line) {
    const std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() != '[') {
        return std::nullopt;
    }
    const auto close = trimmed.find(']');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    return Trim(trimmed.substr(1, close - 1));
}

bool IsKeyLine(const std::string& line, const std::string& key) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) {
        return false;
    }
    return SameName(Trim(line.substr(0, eq)), key);
}

// Windows strips one pair of matching quotes around a value.
std::string Unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

} // namespace

IniDocument IniDocument::Parse(const std::string& text) {
    IniDocument doc;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        doc.lines_.push_back(std::move(line));
        start = end + 1;
    }
    return doc;
}

std::optional<std::string> IniDocument::Get(const std::string& section,
                                            const std::string& key) const {
    bool inSection = false;
    for (const auto& line : lines_) {
        if (auto name = SectionOf(line)) {
            if (inSection) {
                return std::nullopt;
            }
            inSection = SameName(*name, section);
            continue;
        }
        if (inSection && IsKeyLine(line, key)) {
            return Unquote(Trim(line.substr(line.find('=') + 1)));
        }
    }
    return std::nullopt;
}

bool IniDocument::Set(const std::string& section, const std::string& key,
                      const std::string& value) {
    const std::string name = Trim(key);
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
        section.find(']') != std::string::npos || name.empty() ||
        name.find('=') != std::string::npos || name.front() == '[' || name.front() == ';') {
        return false;
    }
    const std::string newLine = name + "=" + value;
    std::optional<std::size_t> sectionEnd;
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto found = SectionOf(lines_[i])) {
            if (inSection) {
                break;
            }
            inSection = SameName(*found, section);
            if (inSection) {
                sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection) {
            continue;
        }
        if (IsKeyLine(lines_[i], key)) {
            // The key keeps the spelling it already has in the file.
            lines_[i] = Trim(lines_[i].substr(0, lines_[i].find('='))) + "=" + value;
            return true;
        }
        if (!Trim(lines_[i]).empty()) {
            sectionEnd = i + 1;
        }
    }
    if (sectionEnd) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), newLine);
        return true;
    }
    while (!lines_.empty() && Trim(lines_.back()).empty()) {
        lines_.pop_back();
    }
    std::string header = "[";
    header += Trim(section);
    header += ']';
    lines_.push_back(std::move(header));
    lines_.push_back(newLine);
    return true;
}

std::string IniDocument::Serialize() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

} // namespace velquist
