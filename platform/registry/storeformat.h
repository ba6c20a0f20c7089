#pragma once

#include "valuetype.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesto::registry {

struct StoredValue {
    std::string name;
    ValueType type = ValueType::None;
    std::vector<std::uint8_t> data;
};

struct StoredKey {
    std::string path; // e.g. "Software\KESTO", no leading or trailing backslash
    std::vector<StoredValue> values;

    // Names match without regard to ASCII letter case, as registry names do.
    StoredValue* findValue(std::string_view name);
    const StoredValue* findValue(std::string_view name) const;
};

// The whole store: keys in the order they were created, values in the order
// they were first written.
struct StoreContent {
    std::vector<StoredKey> keys;

    StoredKey* findKey(std::string_view path);
    const StoredKey* findKey(std::string_view path) const;
    // True when the key or any key below it exists.
    bool keyExists(std::string_view path) const;
    StoredKey& findOrAddKey(std::string_view path);
};

bool namesEqual(std::string_view a, std::string_view b);

// The store file is text a person can read:
//
//   KESTO settings store 1
//   [Software\KESTO]
//   "MirDownPath"=sz:100:"/home/op/Mirs/"
//   "Flags"=dword:hex:01,00,00,00
//
// Text types (sz, expand_sz, multi_sz) show their data as quoted text followed
// by the exact data length: the data is the text's bytes, then NUL bytes up to
// that length. Inside quotes, '"' and '\' are written \" and \\, control bytes
// (NUL included) and 0x7F as \xHH; every other byte as it is. All other types
// show their data bytes as hex pairs. Lines starting with ';' are comments.
std::string serializeStore(const StoreContent& content);

// Parses store text; on failure returns nothing and describes the first bad
// line in error. An empty text is an empty store.
std::optional<StoreContent> parseStore(std::string_view text, std::string& error);

} // namespace kesto::registry
