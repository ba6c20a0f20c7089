#include "valuetype.h"

#include <array>
#include <charconv>
#include <utility>

namespace kesto::registry {

namespace {

constexpr std::array<std::pair<ValueType, std::string_view>, 12> kNames{{
    {ValueType::None, "none"},
    {ValueType::Sz, "sz"},
    {ValueType::ExpandSz, "expand_sz"},
    {ValueType::Binary, "binary"},
    {ValueType::Dword, "dword"},
    {ValueType::DwordBigEndian, "dword_big_endian"},
    {ValueType::Link, "link"},
    {ValueType::MultiSz, "multi_sz"},
    {ValueType::ResourceList, "resource_list"},
    {ValueType::FullResourceDescriptor, "full_resource_descriptor"},
    {ValueType::ResourceRequirementsList, "resource_requirements_list"},
    {ValueType::Qword, "qword"},
}};

} // namespace

std::string valueTypeName(ValueType type) {
    for (const auto& [known, name] : kNames) {
        if (known == type)
            return std::string(name);
    }
    return std::to_string(static_cast<std::uint32_t>(type));
}

std::optional<ValueType> valueTypeFromName(std::string_view name) {
    for (const auto& [known, knownName] : kNames) {
        if (knownName == name)
            return known;
    }
    std::uint32_t number = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
    if (error != std::errc() || end != name.data() + name.size() || name.empty())
        return std::nullopt;
    return static_cast<ValueType>(number);
}

bool isTextType(ValueType type) {
    return type == ValueType::Sz || type == ValueType::ExpandSz || type == ValueType::MultiSz;
}

} // namespace kesto::registry
