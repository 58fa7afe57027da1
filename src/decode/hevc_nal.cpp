#include "hevc_nal.h"

namespace velquist {

bool SplitLengthPrefixed(const std::vector<uint8_t>& data, std::vector<NalUnit>* units) {
    units->clear();
    size_t pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < 4) {
            return false;
        }
        const size_t size = (size_t{data[pos]} << 24) | (size_t{data[pos + 1]} << 16) |
                            (size_t{data[pos + 2]} << 8) | size_t{data[pos + 3]};
        pos += 4;
        if (size > data.size() - pos) {
            return false;
        }
        if (size > 0) {
            units->push_back({data.data() + pos, size});
        }
        pos += size;
    }
    return !units->empty();
}

std::vector<uint8_t> ToAnnexB(const std::vector<NalUnit>& units) {
    static constexpr uint8_t kStartCode[] = {0, 0, 0, 1};
    size_t total = 0;
    for (const NalUnit& unit : units) {
        total += sizeof kStartCode + unit.size;
    }
    std::vector<uint8_t> stream;
    stream.reserve(total);
    for (const NalUnit& unit : units) {
        stream.insert(stream.end(), kStartCode, kStartCode + sizeof kStartCode);
        stream.insert(stream.end(), unit.data, unit.data + unit.size);
    }
    return stream;
}

} // namespace velquist
