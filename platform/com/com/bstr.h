#pragma once

// BSTR: a length-prefixed UTF-16 string. The 32-bit byte length sits just
// before the characters, which are followed by a terminating zero. A null BSTR
// is the empty string.

#include "com/types.h"

#include <string_view>
#include <utility>

namespace com {

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length);
void SysFreeString(BSTR text);
std::uint32_t SysStringLen(BSTR text);
std::uint32_t SysStringByteLen(BSTR text);

inline BSTR allocBstr(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
}
inline std::u16string_view bstrView(BSTR text) {
    return {text ? text : u"", SysStringLen(text)};
}

std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

// Owns one BSTR.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text) : m_text(allocBstr(text)) {}
    Bstr(const Bstr& other) : m_text(other.m_text ? allocBstr(other.view()) : nullptr) {}
    Bstr(Bstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(m_text, other.m_text);
        return *this;
    }
    ~Bstr() { SysFreeString(m_text); }

    static Bstr adopt(BSTR text) {
        Bstr b;
        b.m_text = text;
        return b;
    }
    BSTR get() const { return m_text; }
    BSTR release() { return std::exchange(m_text, nullptr); }
    // For out-parameters: frees the current text and hands out the slot.
    BSTR* receive() {
        SysFreeString(std::exchange(m_text, nullptr));
        return &m_text;
    }
    std::u16string_view view() const { return bstrView(m_text); }

private:
    BSTR m_text = nullptr;
};

} // namespace com
