#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace kesto::ini {

// The caller's buffer in the profile-reading call: a value is cut to one
// character less than this, the last place holding the terminating NUL.
inline constexpr std::size_t kProfileBufferSize = 1024;

// Reads one value of an INI ("profile") file the way the Windows profile call
// does, re-reading the file on every call:
//
//  - A missing or unreadable file (no permission, a folder), a missing section
//    or a missing key gives defaultValue. Nothing is ever written.
//  - Section and key names match without regard to ASCII letter case; blanks
//    (spaces and tabs) around them are ignored. When a section or a key occurs
//    more than once, the first occurrence counts.
//  - A key line is "name=value"; the value is everything after the first '=',
//    without the blanks around it. A value enclosed in a pair of matching
//    double or single quotes loses that pair. A ';' inside a value is kept
//    (there are no trailing comments); lines starting with ';' are comments.
//    Lines end with LF, CR LF or CR.
//  - The result has at most bufferSize - 1 characters (code points): longer
//    values (and defaults) are cut, as the fixed buffer cuts them.
//
// The file's bytes are decoded once per file: UTF-8 when the whole file is
// valid UTF-8, otherwise Latin-1 (see decodeProfileBytes). The result is UTF-8.
std::string readProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key, std::string_view defaultValue = {},
                              std::size_t bufferSize = kProfileBufferSize);

} // namespace kesto::ini
