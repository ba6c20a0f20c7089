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

bool KeyedList::add(std::u16string key, com::ComPtr<com::IDispatch> member) {
    if (m_index.contains(key))
        return false;
    m_index.emplace(key, member.get());
    m_entries.push_back(Entry{std::move(key), std::move(member)});
    return true;
}

com::IDispatch* KeyedList::find(std::u16string_view key) const {
    const auto it = m_index.find(std::u16string(key));
    return it == m_index.end() ? nullptr : it->second;
}

void KeyedList::eraseAt(std::size_t index) {
    m_index.erase(m_entries[index].key);
    m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(index));
}

bool KeyedList::removeAt(std::size_t position) {
    if (position < 1 || position > m_entries.size())
        return false;
    eraseAt(position - 1);
    return true;
}

bool KeyedList::removeKey(std::u16string_view key) {
    if (!m_index.contains(std::u16string(key)))
        return false;
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [key](const Entry& e) { return e.key == key; });
    eraseAt(static_cast<std::size_t>(it - m_entries.begin()));
    return true;
}

} // namespace korva_model
