#include "text.h"

#include <array>

namespace velquist {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> MakeDecodeTable() {
    std::array<int, 256> table{};
    for (int& v : table) {
        v = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    }
    return table;
}

constexpr std::array<int, 256> kDecode = MakeDecodeTable();

} // namespace

std::string Base64Encode(const unsigned char* data, std::size_t length) {
    std::string out;
    out.reserve((length + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        const unsigned v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
        out.push_back(kAlphabet[(v >> 18) & 63]);
        out.push_back(kAlphabet[(v >> 12) & 63]);
        out.push_back(kAlphabet[(v >> 6) & 63]);
        out.push_back(kAlphabet[v & 63]);
    }
    const std::size_t rest = length - i;
    if (rest == 0) {
        return out;
    }
    unsigned v = data[i] << 16;
    if (rest == 2) {
        v |= data[i + 1] << 8;
    }
    out.push_back(kAlphabet[(v >> 18) & 63]);
    out.push_back(kAlphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
    return out;
}

std::string Base64Decode(const std::string& text) {
    std::string out;
    out.reserve(text.size() / 4 * 3);
    unsigned accumulator = 0;
    int count = 0;
    for (char ch : text) {
        const int value = kDecode[static_cast<unsigned char>(ch)];
        if (value < 0) {
            break;
        }
        accumulator = (accumulator << 6) | static_cast<unsigned>(value);
        if (++count == 4) {
            out.push_back(static_cast<char>((accumulator >> 16) & 0xFF));
            out.push_back(static_cast<char>((accumulator >> 8) & 0xFF));
            out.push_back(static_cast<char>(accumulator & 0xFF));
            accumulator = 0;
            count = 0;
        }
    }
    if (count == 2) {
        out.push_back(static_cast<char>((accumulator >> 4) & 0xFF));
    } else if (count == 3) {
        out.push_back(static_cast<char>((accumulator >> 10) & 0xFF));
        out.push_back(static_cast<char>((accumulator >> 2) & 0xFF));
    }
    return out;
}

} // namespace velquist
