#pragma once

// The class registry: which library serves each class identifier (with its
// threading model and programmatic identifier) and where each type library
// lives. A text file classregistry.conf in the user's configuration folder
// (mode 0600), and one in each system-wide configuration folder (mode 0644,
// written by kesto-regsvr --system), where the user's entries take
// precedence. Every call looks at the files anew (but see RegistrySnapshot),
// so a change of the environment or of a file is seen at once; the parsed
// contents of an unchanged file are reused. Writers replace a file
// atomically under an exclusive lock.

#include "com/types.h"

#include <filesystem>
#include <iosfwd>
#include <memory>
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

// Set to "system" in the environment of a library's registration function,
// the registration writes the system-wide registry instead of the user's.
inline constexpr const char* kRegistryScopeVariable = "KESTO_REGISTRY_SCOPE";

class ClassRegistry {
public:
    // The user's registry file of the current environment.
    static std::filesystem::path defaultPath();
    // The system-wide registry file that registrations write, in the most
    // important system configuration folder.
    static std::filesystem::path systemPath();

    // The registry of this process: looks in the user's file, then in the
    // system-wide ones, and writes the user's file (the system-wide one when
    // the scope variable says "system").
    ClassRegistry();
    // Only this file, read and written.
    explicit ClassRegistry(std::filesystem::path file);

    // The file written.
    const std::filesystem::path& file() const { return m_files.front(); }
    // The files read, the one that takes precedence first.
    const std::vector<std::filesystem::path>& files() const { return m_files; }

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
    static std::shared_ptr<const Contents> read(const std::filesystem::path& file);
    static std::shared_ptr<const Contents> readFresh(const std::filesystem::path& file);
    static Contents parse(std::istream& in);
    std::filesystem::perms folderMode() const;
    HRESULT write(const Contents& contents) const;
    template <class Change> HRESULT modify(Change change);
    template <class Entry, class Match>
    std::optional<Entry> first(std::vector<Entry> Contents::*list, Match match) const;

    std::vector<std::filesystem::path> m_files;
    bool m_systemWide = false;
};

// While one lives on a thread, activations on that thread look at the
// registry once: its files as the first activation found them, the
// environment then, whatever changes meanwhile. Interpreting and storing a
// booking activates a score of objects, and one look per booking is enough
// for a library registered again to be taken up by the next. Not for a
// thread that writes the registry: it would write over what it last saw.
class RegistrySnapshot {
public:
    RegistrySnapshot();
    ~RegistrySnapshot();
    RegistrySnapshot(const RegistrySnapshot&) = delete;
    RegistrySnapshot& operator=(const RegistrySnapshot&) = delete;
};

} // namespace com
