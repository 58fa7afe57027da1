#include "converter_lines.h"

#include "util/shown_name.h"

namespace velquist {
namespace {

struct Prefix {
    std::string_view text;
    ConverterLine::Kind kind;
    std::string_view separator; // between the input and the detail
};

constexpr Prefix kPrefixes[] = {
    {"OK  ", ConverterLine::Kind::kConverted, " -> "},
    {"FAILED ", ConverterLine::Kind::kFailed, ": "},
    {"SKIPPED ", ConverterLine::Kind::kSkipped, ": "},
    {"STOPPED ", ConverterLine::Kind::kStopped, ""},
};

} // namespace

void ConverterTally::Add(const ConverterLine& line) {
    switch (line.kind) {
    case ConverterLine::Kind::kConverted:
        if (converted++ == 0) {
            firstConverted = line.input;
        }
        break;
    case ConverterLine::Kind::kFailed:
        ++failed;
        break;
    case ConverterLine::Kind::kSkipped:
        ++skipped;
        break;
    case ConverterLine::Kind::kStopped:
        ++stopped;
        break;
    case ConverterLine::Kind::kOther:
        break;
    }
}

ConverterLines::ConverterLines(const std::vector<std::string>& inputs) {
    for (const std::string& input : inputs) {
        byShown_.emplace(QuotedName(input), input);
    }
}

std::vector<ConverterLine> ConverterLines::Feed(std::string_view bytes) {
    pending_.append(bytes);
    std::vector<ConverterLine> lines;
    std::size_t start = 0;
    for (std::size_t end = pending_.find('\n'); end != std::string::npos;
         end = pending_.find('\n', start)) {
        const ConverterLine line = Classify(std::string_view(pending_).substr(start, end - start));
        if (line.kind != ConverterLine::Kind::kOther) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    pending_.erase(0, start);
    return lines;
}

ConverterLine ConverterLines::Classify(std::string_view line) const {
    ConverterLine result;
    for (const Prefix& prefix : kPrefixes) {
        if (line.substr(0, prefix.text.size()) == prefix.text) {
            result.kind = prefix.kind;
            MatchInput(line.substr(prefix.text.size()), prefix.separator, &result);
            break;
        }
    }
    return result;
}

void ConverterLines::MatchInput(std::string_view rest, std::string_view sep,
                                ConverterLine* line) const {
    if (sep.empty()) {
        if (const auto found = byShown_.find(std::string(rest)); found != byShown_.end()) {
            line->input = found->second;
        }
        return;
    }
    // Every place the separator occurs is a candidate end of the name; the longest known
    // name wins, since a shorter one may be a prefix of the real one.
    for (std::size_t at = rest.find(sep); at != std::string_view::npos;
         at = rest.find(sep, at + 1)) {
        if (const auto found = byShown_.find(std::string(rest.substr(0, at)));
            found != byShown_.end()) {
            line->input = found->second;
            line->detail = std::string(rest.substr(at + sep.size()));
        }
    }
}

} // namespace velquist
