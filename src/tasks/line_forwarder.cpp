#include "line_forwarder.h"

namespace velquist {

void LineForwarder::Feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == '\n') {
            EmitLine();
            continue;
        }
        if (c == '\r') {
            continue;
        }
        line_ += (c < 0x20 && c != '\t') || c == 0x7f ? '?' : static_cast<char>(c);
        if (line_.size() >= kMaxLine) {
            EmitLine();
        }
    }
}

void LineForwarder::Finish() {
    if (!line_.empty()) {
        EmitLine();
    }
}

void LineForwarder::EmitLine() {
    if (!line_.empty()) {
        last_ = line_;
    }
    if (forwarded_ + line_.size() + 1 > kBudget) {
        if (!truncated_) {
            truncated_ = true;
            std::fputs("(further worker output dropped)\n", target_);
            std::fflush(target_);
        }
        line_.clear();
        return;
    }
    forwarded_ += line_.size() + 1;
    line_ += '\n';
    // One call per line, so lines of parallel jobs never interleave mid-line.
    std::fwrite(line_.data(), 1, line_.size(), target_);
    std::fflush(target_);
    line_.clear();
}

} // namespace velquist
