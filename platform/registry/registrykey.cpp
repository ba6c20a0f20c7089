#include "registrykey.h"

#include <algorithm>

namespace kesto::registry {

namespace {

// Strips surrounding backslashes; refuses empty paths, empty components and
// characters the store file format cannot hold in a key line.
std::optional<std::string> normalisedKeyPath(std::string_view path) {
    while (!path.empty() && path.front() == '\\')
        path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    if (path.empty() || path.find("\\\\") != std::string_view::npos)
        return std::nullopt;
    const bool printable = std::all_of(path.begin(), path.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte != 0x7F && c != ']';
    });
    if (!printable)
        return std::nullopt;
    return std::string(path);
}

// Loads the store for a write; a damaged file is moved aside first.
Status loadForWrite(const std::filesystem::path& storeFile, StoreContent& content) {
    LoadedStore loaded = loadStoreFile(storeFile);
    if (loaded.status == Status::Corrupt) {
        if (setCorruptStoreAside(storeFile).empty())
            return Status::IoError;
        content = StoreContent{};
        return Status::Ok;
    }
    content = std::move(loaded.content);
    return loaded.status;
}

// Changes one key of the store under its write lock and saves the store.
template <typename Change>
Status changeKey(const std::filesystem::path& storeFile, const std::string& path, Change change) {
    const StoreWriteLock lock(storeFile);
    if (lock.status() != Status::Ok)
        return lock.status();
    StoreContent content;
    if (const Status loaded = loadForWrite(storeFile, content); loaded != Status::Ok)
        return loaded;
    change(content.findOrAddKey(path));
    return saveStoreFile(storeFile, content);
}

} // namespace

RegistryKey::RegistryKey(std::string path, std::filesystem::path storeFile)
    : m_path(std::move(path)), m_storeFile(std::move(storeFile)) {}

std::optional<RegistryKey> RegistryKey::open(std::string_view path, Status& status,
                                             const std::filesystem::path& storeFile) {
    const auto normalised = normalisedKeyPath(path);
    if (!normalised) {
        status = Status::InvalidArgument;
        return std::nullopt;
    }
    const LoadedStore loaded = loadStoreFile(storeFile);
    status = loaded.status;
    if (status != Status::Ok)
        return std::nullopt;
    if (!loaded.content.keyExists(*normalised)) {
        status = Status::NotFound;
        return std::nullopt;
    }
    return RegistryKey(*normalised, storeFile);
}

std::optional<RegistryKey> RegistryKey::create(std::string_view path, Status& status,
                                               const std::filesystem::path& storeFile) {
    const auto normalised = normalisedKeyPath(path);
    if (!normalised) {
        status = Status::InvalidArgument;
        return std::nullopt;
    }
    const StoreWriteLock lock(storeFile);
    status = lock.status();
    if (status != Status::Ok)
        return std::nullopt;
    StoreContent content;
    status = loadForWrite(storeFile, content);
    if (status != Status::Ok)
        return std::nullopt;
    if (content.findKey(*normalised) == nullptr) {
        content.findOrAddKey(*normalised);
        status = saveStoreFile(storeFile, content);
        if (status != Status::Ok)
            return std::nullopt;
    }
    return RegistryKey(*normalised, storeFile);
}

Status RegistryKey::queryValueInfo(std::string_view name, ValueType& type,
                                   std::size_t& size) const {
    const LoadedStore loaded = loadStoreFile(m_storeFile);
    if (loaded.status != Status::Ok)
        return loaded.status;
    const StoredKey* key = loaded.content.findKey(m_path);
    const StoredValue* value = key == nullptr ? nullptr : key->findValue(name);
    if (value == nullptr)
        return Status::NotFound;
    type = value->type;
    size = value->data.size();
    return Status::Ok;
}

Status RegistryKey::readValue(std::string_view name, ValueType& type,
                              std::span<std::uint8_t> buffer, std::size_t& size) const {
    const LoadedStore loaded = loadStoreFile(m_storeFile);
    if (loaded.status != Status::Ok)
        return loaded.status;
    const StoredKey* key = loaded.content.findKey(m_path);
    const StoredValue* value = key == nullptr ? nullptr : key->findValue(name);
    if (value == nullptr)
        return Status::NotFound;
    type = value->type;
    size = value->data.size();
    if (buffer.size() < value->data.size())
        return Status::MoreData;
    std::copy(value->data.begin(), value->data.end(), buffer.begin());
    return Status::Ok;
}

Status RegistryKey::setValue(std::string_view name, ValueType type,
                             std::span<const std::uint8_t> data) {
    return changeKey(m_storeFile, m_path, [&](StoredKey& key) {
        StoredValue* value = key.findValue(name);
        if (value == nullptr) {
            key.values.push_back(StoredValue{std::string(name), type, {}});
            value = &key.values.back();
        }
        value->type = type;
        value->data.assign(data.begin(), data.end());
    });
}

Status RegistryKey::deleteValue(std::string_view name) {
    return changeKey(m_storeFile, m_path, [name](StoredKey& key) {
        std::erase_if(key.values,
                      [name](const StoredValue& value) { return namesEqual(value.name, name); });
    });
}

} // namespace kesto::registry
