#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kesto::registry {

// Value types with the numbers the Windows registry gives them.
enum class ValueType : std::uint32_t {
    None = 0,
    Sz = 1,
    ExpandSz = 2,
    Binary = 3,
    Dword = 4,
    DwordBigEndian = 5,
    Link = 6,
    MultiSz = 7,
    ResourceList = 8,
    FullResourceDescriptor = 9,
    ResourceRequirementsList = 10,
    Qword = 11,
};

// Name used in the store file ("sz", "dword", ...); other numbers are written
// as their decimal text so that any type survives a round trip.
std::string valueTypeName(ValueType type);
std::optional<ValueType> valueTypeFromName(std::string_view name);

// Types whose data is text; the store file shows their data as quoted text.
bool isTextType(ValueType type);

} // namespace kesto::registry
