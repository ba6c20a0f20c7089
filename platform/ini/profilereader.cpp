#include "profilereader.h"

#include "textdecoding.h"

#include <fstream>
#include <iterator>
#include <optional>

namespace kesto::ini {

namespace {

std::string_view trimBlanks(std::string_view text) {
    constexpr std::string_view blanks = " \t";
    const auto first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    }
    return true;
}

std::string_view stripQuotePair(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& file) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return std::nullopt;
    std::ifstream stream(file, std::ios::binary);
    if (!stream)
        return std::nullopt;
    std::string bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (stream.bad())
        return std::nullopt;
    return bytes;
}

// Finds the raw value text of section/key in decoded file text.
std::optional<std::string_view> findValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const auto end = text.find_first_of("\r\n", pos);
        const std::string_view line = trimBlanks(
            text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos));
        if (end == std::string_view::npos)
            pos = text.size() + 1;
        else
            pos = (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? end + 2
                                                                                        : end + 1;

        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            const auto close = line.find(']');
            const std::string_view name = trimBlanks(
                line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1));
            if (inSection)
                return std::nullopt; // the first section of that name has ended
            inSection = equalsIgnoringCase(name, section);
            continue;
        }
        if (!inSection)
            continue;
        const auto equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        if (equalsIgnoringCase(trimBlanks(line.substr(0, equals)), key))
            return stripQuotePair(trimBlanks(line.substr(equals + 1)));
    }
    return std::nullopt;
}

} // namespace

std::string readProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize) {
    const std::size_t maxCharacters = bufferSize == 0 ? 0 : bufferSize - 1;
    std::string_view value = defaultValue;
    std::string text;
    if (const auto bytes = readWholeFile(file)) {
        text = decodeProfileBytes(*bytes);
        if (const auto found = findValue(text, section, key))
            value = *found;
    }
    return std::string(truncateToCharacters(value, maxCharacters));
}

} // namespace kesto::ini
