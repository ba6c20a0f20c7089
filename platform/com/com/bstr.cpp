#include "com/bstr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace com {

namespace {

using Prefix = std::uint32_t;

Prefix* prefixOf(BSTR text) {
    return reinterpret_cast<Prefix*>(text) - 1;
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length) {
    // The byte length must fit the 32-bit prefix.
    if (length > (std::numeric_limits<Prefix>::max() - sizeof(Prefix) - 2) / 2)
        return nullptr;
    void* block = std::malloc(sizeof(Prefix) + std::size_t(length) * 2 + 2);
    if (!block)
        return nullptr;
    auto* prefix = static_cast<Prefix*>(block);
    *prefix = length * 2;
    auto* chars = reinterpret_cast<OLECHAR*>(prefix + 1);
    if (text)
        std::memcpy(chars, text, std::size_t(length) * 2);
    else
        std::memset(chars, 0, std::size_t(length) * 2);
    chars[length] = 0;
    return chars;
}

void SysFreeString(BSTR text) {
    if (text)
        std::free(prefixOf(text));
}

std::uint32_t SysStringByteLen(BSTR text) {
    return text ? *prefixOf(text) : 0;
}

std::uint32_t SysStringLen(BSTR text) {
    return SysStringByteLen(text) / 2;
}

std::u16string utf8ToUtf16(std::string_view text) {
    // Member names are ASCII, and a booking's calls convert one each.
    if (std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; }))
        return std::u16string(text.begin(), text.end());
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t extra = 0;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        }
        bool valid = c < 0x80 || (extra > 0 && i + extra < text.size());
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                valid = false;
            else
                cp = cp << 6 | (cc & 0x3F);
        }
        if (!valid) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        i += extra + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD; // a lone surrogate
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace com
