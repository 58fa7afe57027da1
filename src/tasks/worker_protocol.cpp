#include "worker_protocol.h"

#include <charconv>
#include <cstring>

namespace velquist {

std::string EncodeRecord(const std::vector<std::string>& fields) {
    std::string record = std::to_string(fields.size());
    record += '\0';
    for (const std::string& field : fields) {
        record += field;
        record += '\0';
    }
    return record;
}

void RecordReader::Feed(const char* data, std::size_t size) {
    if (broken_) {
        return;
    }
    buffer_.append(data, size);
    while (!broken_ && ParseOne()) {
    }
    if (buffer_.size() > kMaxRecordBytes) {
        broken_ = true;
    }
}

// Takes one complete record off the front of the buffer; false when none is complete yet.
bool RecordReader::ParseOne() {
    const std::size_t countEnd = buffer_.find('\0');
    if (countEnd == std::string::npos) {
        broken_ = buffer_.size() > 8;
        return false;
    }
    std::size_t count = 0;
    const char* first = buffer_.data();
    const auto [end, error] = std::from_chars(first, first + countEnd, count);
    if (error != std::errc() || end != first + countEnd || countEnd == 0 || count > kMaxFields) {
        broken_ = true;
        return false;
    }
    std::vector<std::string> fields;
    std::size_t pos = countEnd + 1;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t fieldEnd = buffer_.find('\0', pos);
        if (fieldEnd == std::string::npos) {
            return false;
        }
        fields.emplace_back(buffer_, pos, fieldEnd - pos);
        pos = fieldEnd + 1;
    }
    buffer_.erase(0, pos);
    ready_.push_back(std::move(fields));
    return true;
}

std::optional<std::vector<std::string>> RecordReader::Take() {
    if (ready_.empty()) {
        return std::nullopt;
    }
    std::vector<std::string> record = std::move(ready_.front());
    ready_.erase(ready_.begin());
    return record;
}

} // namespace velquist
