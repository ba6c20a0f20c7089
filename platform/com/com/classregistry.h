#pragma once

// The per-user class registry: which library serves each class identifier
// (with its threading model and programmatic identifier) and where each type
// library lives. One text file, $XDG_CONFIG_HOME/KESTO/classregistry.conf
// (fallback $HOME/.config/KESTO/), mode 0600. Every call looks at the file
// anew, so a change of XDG_CONFIG_HOME or of the file is seen at once; the
// parsed contents of an unchanged file are reused. Writers
// replace the file atomically under an exclusive lock.

#include "com/types.h"

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace com {

struct ClassEntry {
    CLSID clsid = GUID_NULL;
    std::string library; // absolute path of the in-process server
    std::string threadingModel;
    std::string progId;
};

struct TypeLibEntry {
    GUID libid = GUID_NULL;
    std::string name;
    std::uint16_t majorVersion = 0;
    std::uint16_t minorVersion = 0;
    LCID locale = 0;
    std::string library;
};

class ClassRegistry {
public:
    // The registry file of the current environment.
    static std::filesystem::path defaultPath();

    explicit ClassRegistry(std::filesystem::path file = defaultPath());

    const std::filesystem::path& file() const { return m_file; }

    std::optional<ClassEntry> findClass(const CLSID& clsid) const;
    std::optional<ClassEntry> findProgId(std::string_view progId) const;
    std::optional<TypeLibEntry> findTypeLib(const GUID& libid) const;
    std::vector<ClassEntry> classes() const;

    // Adds or replaces the given entries. Failures return REGDB_E_WRITEREGDB
    // (or E_INVALIDARG for a value that cannot be stored) with error info.
    HRESULT add(const std::vector<ClassEntry>& classes, const std::vector<TypeLibEntry>& typeLibs);
    // Removes the entries of these identifiers; absent ones are no error.
    HRESULT remove(const std::vector<CLSID>& classes, const std::vector<GUID>& typeLibs);

private:
    struct Contents {
        std::vector<ClassEntry> classes;
        std::vector<TypeLibEntry> typeLibs;
    };
    Contents read() const;
    static Contents parse(std::istream& in);
    HRESULT write(const Contents& contents) const;
    template <class Change> HRESULT modify(Change change);

    std::filesystem::path m_file;
};

} // namespace com
