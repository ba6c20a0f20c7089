#include "keyedlist.h"

#include <algorithm>

namespace korva_model {

std::u16string decimalKey(std::int16_t number) {
    int n = number;
    std::u16string digits;
    do {
        const int digit = n % 10;
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + (digit < 0 ? -digit : digit)));
        n /= 10;
    } while (n != 0);
    if (number < 0)
        digits.insert(digits.begin(), u'-');
    return digits;
}

std::vector<KeyedList::Entry>::const_iterator KeyedList::locate(std::u16string_view key) const {
    return std::find_if(m_entries.begin(), m_entries.end(),
                        [key](const Entry& e) { return e.key == key; });
}

bool KeyedList::add(std::u16string key, com::ComPtr<com::IDispatch> member) {
    if (locate(key) != m_entries.end())
        return false;
    m_entries.push_back(Entry{std::move(key), std::move(member)});
    return true;
}

com::IDispatch* KeyedList::find(std::u16string_view key) const {
    const auto it = locate(key);
    return it == m_entries.end() ? nullptr : it->member.get();
}

bool KeyedList::removeAt(std::size_t position) {
    if (position < 1 || position > m_entries.size())
        return false;
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(position - 1));
    return true;
}

bool KeyedList::removeKey(std::u16string_view key) {
    const auto it = locate(key);
    if (it == m_entries.end())
        return false;
    m_entries.erase(it);
    return true;
}

} // namespace korva_model
