#pragma once

#include <string>
#include <string_view>

namespace kesto::ini {

// True when the bytes form well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

// Turns the bytes of a profile file into UTF-8 text. A file that is valid UTF-8
// is taken as UTF-8 (a leading byte-order mark is dropped); any other file is
// read as Latin-1, one character per byte, so that no byte is ever lost or
// replaced. The decision is made once for the whole file.
std::string decodeProfileBytes(std::string_view bytes);

// Returns the longest prefix of the UTF-8 text that has at most maxCharacters
// code points.
std::string_view truncateToCharacters(std::string_view utf8, std::size_t maxCharacters);

} // namespace kesto::ini
