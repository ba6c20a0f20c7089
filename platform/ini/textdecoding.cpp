#include "textdecoding.h"

#include <cstdint>

namespace kesto::ini {

namespace {

// Length of the UTF-8 sequence that starts with this byte, or 0 when the byte
// cannot start one.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = sequenceLength(lead);
        if (length == 0 || i + length > bytes.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (!isContinuation(static_cast<unsigned char>(bytes[i + k])))
                return false;
        }
        if (length >= 3) {
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            if (lead == 0xE0 && second < 0xA0)
                return false; // overlong
            if (lead == 0xED && second > 0x9F)
                return false; // UTF-16 surrogate
            if (lead == 0xF0 && second < 0x90)
                return false; // overlong
            if (lead == 0xF4 && second > 0x8F)
                return false; // above U+10FFFF
        }
        i += length;
    }
    return true;
}

std::string decodeProfileBytes(std::string_view bytes) {
    if (isValidUtf8(bytes)) {
        constexpr std::string_view bom = "\xEF\xBB\xBF";
        if (bytes.substr(0, bom.size()) == bom)
            bytes.remove_prefix(bom.size());
        return std::string(bytes);
    }
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

std::string_view truncateToCharacters(std::string_view utf8, std::size_t maxCharacters) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (isContinuation(static_cast<unsigned char>(utf8[i])))
            continue;
        if (characters == maxCharacters)
            return utf8.substr(0, i);
        ++characters;
    }
    return utf8;
}

} // namespace kesto::ini
