#pragma once

// The keyed list behind a collection: members in the order they were added,
// each filed under a text key. Lookup is by key; removal by position (first is
// 1) or by key. The members sit in a vector in their order; a hash index by
// key keeps adding and lookup cheap however large a collection grows.

#include "com/comptr.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace korva_model {

// The list's two errors, with the numbers and texts callers know.
inline constexpr com::HRESULT kInvalidArgument = com::makeFailure(0xA, 5);
inline constexpr com::HRESULT kDuplicateKey = com::makeFailure(0xA, 457);
inline constexpr std::u16string_view kInvalidArgumentText = u"Invalid procedure call or argument";
inline constexpr std::u16string_view kDuplicateKeyText =
    u"This key is already associated with an element of this collection";

// The key for a number: its decimal text, no leading blank ("3", "-12").
std::u16string decimalKey(std::int16_t number);

class KeyedList {
public:
    struct Entry {
        std::u16string key;
        com::ComPtr<com::IDispatch> member;
    };

    std::size_t size() const { return m_entries.size(); }
    // False (and nothing added) when the key is already used.
    bool add(std::u16string key, com::ComPtr<com::IDispatch> member);
    com::IDispatch* find(std::u16string_view key) const;
    bool removeAt(std::size_t position); // 1-based
    bool removeKey(std::u16string_view key);
    const std::vector<Entry>& entries() const { return m_entries; }

private:
    void eraseAt(std::size_t index);

    std::vector<Entry> m_entries;
    std::unordered_map<std::u16string, com::IDispatch*> m_index; // key -> member of m_entries
};

} // namespace korva_model
