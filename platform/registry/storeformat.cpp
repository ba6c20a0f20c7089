#include "storeformat.h"

#include <charconv>

namespace kesto::registry {

namespace {

constexpr std::string_view kHeader = "KESTO settings store 1";
constexpr char kHexDigits[] = "0123456789abcdef";

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void appendHexByte(std::string& out, std::uint8_t byte) {
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0x0F]);
}

std::optional<std::uint8_t> parseHexByte(std::string_view two) {
    std::uint8_t byte = 0;
    const auto [end, error] = std::from_chars(two.data(), two.data() + two.size(), byte, 16);
    if (two.size() != 2 || error != std::errc() || end != two.data() + 2)
        return std::nullopt;
    return byte;
}

void appendQuoted(std::string& out, std::string_view bytes) {
    out.push_back('"');
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            appendHexByte(out, byte);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

// Reads a quoted text at the start of line; on success removes it from line.
std::optional<std::string> takeQuoted(std::string_view& line) {
    if (line.empty() || line.front() != '"')
        return std::nullopt;
    std::string bytes;
    std::size_t i = 1;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '"') {
            line.remove_prefix(i + 1);
            return bytes;
        }
        if (c != '\\') {
            bytes.push_back(c);
            ++i;
            continue;
        }
        if (i + 1 >= line.size())
            return std::nullopt;
        const char escaped = line[i + 1];
        if (escaped == '"' || escaped == '\\') {
            bytes.push_back(escaped);
            i += 2;
        } else if (escaped == 'x') {
            const auto byte = parseHexByte(line.substr(i + 2, 2));
            if (!byte)
                return std::nullopt;
            bytes.push_back(static_cast<char>(*byte));
            i += 4;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> parseHexList(std::string_view text) {
    std::vector<std::uint8_t> data;
    if (text.empty())
        return data;
    std::size_t pos = 0;
    while (true) {
        const auto byte = parseHexByte(text.substr(pos, 2));
        if (!byte)
            return std::nullopt;
        data.push_back(*byte);
        pos += 2;
        if (pos == text.size())
            return data;
        if (text[pos] != ',')
            return std::nullopt;
        ++pos;
    }
}

std::optional<std::size_t> parseSize(std::string_view text) {
    std::size_t size = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return size;
}

// Parses the part after '=' of a value line.
std::optional<StoredValue> parseValueData(std::string_view rest) {
    const auto colon = rest.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto type = valueTypeFromName(rest.substr(0, colon));
    if (!type)
        return std::nullopt;
    rest.remove_prefix(colon + 1);

    StoredValue value;
    value.type = *type;
    if (rest.substr(0, 4) == "hex:") {
        auto data = parseHexList(rest.substr(4));
        if (!data)
            return std::nullopt;
        value.data = std::move(*data);
        return value;
    }
    const auto sizeEnd = rest.find(':');
    if (sizeEnd == std::string_view::npos)
        return std::nullopt;
    const auto size = parseSize(rest.substr(0, sizeEnd));
    rest.remove_prefix(sizeEnd + 1);
    const auto text = takeQuoted(rest);
    if (!size || !text || !rest.empty() || text->size() > *size)
        return std::nullopt;
    value.data.assign(text->begin(), text->end());
    value.data.resize(*size, 0);
    return value;
}

} // namespace

bool namesEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

StoredValue* StoredKey::findValue(std::string_view name) {
    for (auto& value : values) {
        if (namesEqual(value.name, name))
            return &value;
    }
    return nullptr;
}

const StoredValue* StoredKey::findValue(std::string_view name) const {
    return const_cast<StoredKey*>(this)->findValue(name);
}

StoredKey* StoreContent::findKey(std::string_view path) {
    for (auto& key : keys) {
        if (namesEqual(key.path, path))
            return &key;
    }
    return nullptr;
}

const StoredKey* StoreContent::findKey(std::string_view path) const {
    return const_cast<StoreContent*>(this)->findKey(path);
}

bool StoreContent::keyExists(std::string_view path) const {
    for (const auto& key : keys) {
        if (namesEqual(key.path, path) ||
            (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
             namesEqual(std::string_view(key.path).substr(0, path.size()), path)))
            return true;
    }
    return false;
}

StoredKey& StoreContent::findOrAddKey(std::string_view path) {
    if (StoredKey* key = findKey(path))
        return *key;
    keys.push_back(StoredKey{std::string(path), {}});
    return keys.back();
}

std::string serializeStore(const StoreContent& content) {
    std::string out(kHeader);
    out += '\n';
    for (const auto& key : content.keys) {
        out += "\n[" + key.path + "]\n";
        for (const auto& value : key.values) {
            appendQuoted(out, value.name);
            out += '=' + valueTypeName(value.type) + ':';
            if (isTextType(value.type)) {
                std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                                      value.data.size());
                while (!text.empty() && text.back() == '\0')
                    text.remove_suffix(1);
                out += std::to_string(value.data.size()) + ':';
                appendQuoted(out, text);
            } else {
                out += "hex:";
                for (std::size_t i = 0; i < value.data.size(); ++i) {
                    if (i > 0)
                        out += ',';
                    appendHexByte(out, value.data[i]);
                }
            }
            out += '\n';
        }
    }
    return out;
}

std::optional<StoreContent> parseStore(std::string_view text, std::string& error) {
    StoreContent content;
    StoredKey* current = nullptr;
    bool headerSeen = false;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto end = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == ';')
            continue;

        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (!headerSeen) {
            if (line != kHeader) {
                error = where + "not a KESTO settings store";
                return std::nullopt;
            }
            headerSeen = true;
        } else if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                error = where + "bad key line";
                return std::nullopt;
            }
            current = &content.findOrAddKey(line.substr(1, line.size() - 2));
        } else {
            auto name = takeQuoted(line);
            if (!name || line.empty() || line.front() != '=' || current == nullptr) {
                error = where + "bad value line";
                return std::nullopt;
            }
            auto value = parseValueData(line.substr(1));
            if (!value || current->findValue(*name) != nullptr) {
                error = where + "bad or repeated value";
                return std::nullopt;
            }
            value->name = std::move(*name);
            current->values.push_back(std::move(*value));
        }
    }
    return content;
}

} // namespace kesto::registry
