#pragma once

#include "storefile.h"
#include "valuetype.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kesto::registry {

// An open key of the per-user settings store, e.g. "Software\KESTO". Names of
// keys and values match without regard to ASCII letter case. Every call reads
// the store file anew, so a key sees what other processes wrote meanwhile.
//
// A damaged store file is never overwritten as it stands: the reading calls
// report Corrupt, and the first write moves the damaged file aside (see
// setCorruptStoreAside) before it starts a fresh store with the written key.
class RegistryKey {
public:
    // Opens an existing key; NotFound when neither the key nor any key below it
    // exists. status tells why a key could not be opened.
    static std::optional<RegistryKey>
    open(std::string_view path, Status& status,
         const std::filesystem::path& storeFile = defaultStoreFile());

    // Opens the key, creating it (and the store file) when missing.
    static std::optional<RegistryKey>
    create(std::string_view path, Status& status,
           const std::filesystem::path& storeFile = defaultStoreFile());

    const std::string& path() const { return m_path; }
    const std::filesystem::path& storeFile() const { return m_storeFile; }

    // The value's type and data size in bytes, without its data.
    Status queryValueInfo(std::string_view name, ValueType& type, std::size_t& size) const;

    // Copies the value's data into buffer; size receives the data size. When the
    // buffer is too small, nothing is copied and the result is MoreData.
    Status readValue(std::string_view name, ValueType& type, std::span<std::uint8_t> buffer,
                     std::size_t& size) const;

    // Writes the value with exactly this type and data, replacing any value of
    // that name.
    Status setValue(std::string_view name, ValueType type, std::span<const std::uint8_t> data);

    // Removes the value; Ok when there was none.
    Status deleteValue(std::string_view name);

private:
    RegistryKey(std::string path, std::filesystem::path storeFile);

    std::string m_path;
    std::filesystem::path m_storeFile;
};

} // namespace kesto::registry
