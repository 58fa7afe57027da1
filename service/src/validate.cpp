#include "validate.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>

namespace velquist::service {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (!IsDigit(c)) {
            return false;
        }
    }
    return true;
}

// Length of the sequence led by `lead`, 0 when it cannot lead one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Rejects overlong forms, surrogates and code points above U+10FFFF, which
// the lead byte alone does not rule out.
bool SecondByteAllowed(unsigned char lead, unsigned char second) {
    if (lead == 0xE0) {
        return second >= 0xA0;
    }
    if (lead == 0xED) {
        return second <= 0x9F;
    }
    if (lead == 0xF0) {
        return second >= 0x90;
    }
    if (lead == 0xF4) {
        return second <= 0x8F;
    }
    return true;
}

} // namespace

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t len = SequenceLength(lead);
        if (len == 0 || i + len > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < len; ++k) {
            if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) {
                return false;
            }
        }
        if (len > 1 && !SecondByteAllowed(lead, static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        i += len;
    }
    return true;
}

std::size_t Utf8Length(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if (!IsContinuation(static_cast<unsigned char>(c))) {
            ++count;
        }
    }
    return count;
}

bool IsValidPhone(std::string_view phone) {
    return phone.size() == 11 && AllDigits(phone);
}

bool IsValidPassword(std::string_view password) {
    if (password.empty() || !IsValidUtf8(password)) {
        return false;
    }
    if (password.find('\0') != std::string_view::npos) {
        return false;
    }
    return Utf8Length(password) <= kMaxPasswordChars;
}

bool IsWellFormedCode(std::string_view code) {
    return code.size() == kCodeDigits && AllDigits(code);
}

bool IsIpAddress(const std::string& text) {
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
           ::inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

std::string AddressGroup(const std::string& address) {
    in6_addr v6{};
    if (address.find(':') == std::string::npos ||
        ::inet_pton(AF_INET6, address.c_str(), &v6) != 1) {
        return address;
    }
    std::memset(&v6.s6_addr[8], 0, 8);
    char text[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, &v6, text, sizeof text);
    return std::string(text) + "/64";
}

} // namespace velquist::service
