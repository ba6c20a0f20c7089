#include "com/classregistry.h"

#include "com/bstr.h"
#include "com/errorinfo.h"

#include "configfolders.h"
#include "configwrite.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>

namespace com {

namespace {

constexpr const char* kFileName = "classregistry.conf";

HRESULT writeFailure(const std::filesystem::path& file, const std::string& what) {
    const std::string text = "cannot write the class registry " + file.string() + ": " + what;
    return reportError(REGDB_E_WRITEREGDB, GUID_NULL, u"ClassRegistry", utf8ToUtf16(text));
}

bool storable(const std::string& value) {
    return value.find_first_of("\r\n") == std::string::npos;
}

bool hasClass(const std::vector<ClassEntry>& entries, const CLSID& clsid) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const ClassEntry& e) { return e.clsid == clsid; });
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// The snapshots alive on the calling thread, and the number of the one they
// make: what a snapshot kept is dropped when another begins.
thread_local int t_snapshots = 0;
thread_local unsigned t_snapshotNumber = 0;

unsigned snapshotInForce() {
    return t_snapshots > 0 ? t_snapshotNumber : 0;
}

} // namespace

RegistrySnapshot::RegistrySnapshot() {
    if (t_snapshots++ == 0)
        ++t_snapshotNumber;
}

RegistrySnapshot::~RegistrySnapshot() {
    --t_snapshots;
}

std::filesystem::path ClassRegistry::defaultPath() {
    return kesto::config::userConfigFolder() / kFileName;
}

std::filesystem::path ClassRegistry::systemPath() {
    return kesto::config::systemConfigFolders().front() / kFileName;
}

namespace {

// The registry files of the environment, and the environment they follow.
struct Files {
    std::string environment;
    std::vector<std::filesystem::path> files;
    bool systemWide = false;
};

// Works the files out again when a variable they depend on changed.
void refreshFiles(Files& last) {
    std::string environment; // each variable: set or not, its value, a NUL
    for (const char* name :
         {kRegistryScopeVariable, "XDG_CONFIG_HOME", "HOME", "XDG_CONFIG_DIRS"}) {
        const char* value = std::getenv(name);
        environment.push_back(value ? '=' : '-');
        environment.append(value ? value : "").push_back('\0');
    }
    if (environment == last.environment)
        return;
    const char* scope = std::getenv(kRegistryScopeVariable);
    last.systemWide = scope != nullptr && std::string_view(scope) == "system";
    last.files.clear();
    if (last.systemWide) {
        last.files.push_back(ClassRegistry::systemPath());
    } else {
        last.files.push_back(ClassRegistry::defaultPath());
        for (const auto& folder : kesto::config::systemConfigFolders())
            last.files.push_back(folder / kFileName);
    }
    last.environment = std::move(environment);
}

} // namespace

ClassRegistry::ClassRegistry() {
    // Activation makes a registry for every object it creates: under a
    // snapshot the files are worked out once.
    thread_local Files last;
    thread_local unsigned lastSnapshot = 0; // the snapshot that worked them out
    if (snapshotInForce() == 0 || lastSnapshot != snapshotInForce()) {
        refreshFiles(last);
        lastSnapshot = snapshotInForce();
    }
    m_files = last.files;
    m_systemWide = last.systemWide;
}

ClassRegistry::ClassRegistry(std::filesystem::path file) : m_files{std::move(file)} {}

// A file's contents: under a snapshot, as the thread first read them in it.
std::shared_ptr<const ClassRegistry::Contents>
ClassRegistry::read(const std::filesystem::path& file) {
    struct Seen {
        unsigned snapshot = 0;
        std::map<std::string, std::shared_ptr<const Contents>> files;
    };
    thread_local Seen seen;
    const unsigned snapshot = snapshotInForce();
    if (snapshot != 0 && seen.snapshot == snapshot) {
        if (const auto kept = seen.files.find(file.string()); kept != seen.files.end())
            return kept->second;
    }
    const std::shared_ptr<const Contents> contents = readFresh(file);
    if (snapshot != 0) {
        if (seen.snapshot != snapshot)
            seen = Seen{snapshot, {}};
        seen.files[file.string()] = contents;
    }
    return contents;
}

// Activation reads the registry for every object it creates, so the parsed
// contents are kept while a file stays the same one: writers replace it by a
// rename, so a change shows as another inode, size or modification time.
std::shared_ptr<const ClassRegistry::Contents>
ClassRegistry::readFresh(const std::filesystem::path& file) {
    struct Cached {
        dev_t device;
        ino_t inode;
        off_t size;
        std::int64_t modifiedNs;
        std::shared_ptr<const Contents> contents;
    };
    static std::mutex mutex;
    static std::map<std::string, Cached> cache;

    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return std::make_shared<const Contents>();
    const std::int64_t modifiedNs =
        std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    const std::lock_guard lock(mutex);
    const auto found = cache.find(file.string());
    if (found != cache.end() && found->second.device == info.st_dev &&
        found->second.inode == info.st_ino && found->second.size == info.st_size &&
        found->second.modifiedNs == modifiedNs)
        return found->second.contents;
    std::ifstream in(file);
    auto contents = std::make_shared<const Contents>(parse(in));
    cache[file.string()] = Cached{info.st_dev, info.st_ino, info.st_size, modifiedNs, contents};
    return contents;
}

ClassRegistry::Contents ClassRegistry::parse(std::istream& in) {
    Contents contents;
    std::string line;
    ClassEntry* cls = nullptr;
    TypeLibEntry* lib = nullptr;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.front() == '[' && line.back() == ']') {
            cls = nullptr;
            lib = nullptr;
            std::istringstream header(line.substr(1, line.size() - 2));
            std::string kind, id;
            header >> kind >> id;
            const auto guid = guidFromString(id);
            if (!guid)
                continue; // a damaged section is skipped as a whole
            if (kind == "class")
                cls = &contents.classes.emplace_back(ClassEntry{*guid, {}, {}, {}});
            else if (kind == "typelib")
                lib = &contents.typeLibs.emplace_back(TypeLibEntry{*guid, {}, 0, 0, 0, {}});
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = trimmed(line.substr(0, eq));
        const std::string value = trimmed(line.substr(eq + 1));
        if (cls) {
            if (key == "library")
                cls->library = value;
            else if (key == "threading")
                cls->threadingModel = value;
            else if (key == "progid")
                cls->progId = value;
        } else if (lib) {
            if (key == "name") {
                lib->name = value;
            } else if (key == "version") {
                unsigned major = 0, minor = 0;
                if (std::sscanf(value.c_str(), "%u.%u", &major, &minor) == 2) {
                    lib->majorVersion = static_cast<std::uint16_t>(major);
                    lib->minorVersion = static_cast<std::uint16_t>(minor);
                }
            } else if (key == "locale") {
                lib->locale = static_cast<LCID>(std::strtoul(value.c_str(), nullptr, 10));
            } else if (key == "library") {
                lib->library = value;
            }
        }
    }
    return contents;
}

std::filesystem::perms ClassRegistry::folderMode() const {
    return m_systemWide ? std::filesystem::perms(0755) : std::filesystem::perms(0700);
}

HRESULT ClassRegistry::write(const Contents& contents) const {
    std::ostringstream out;
    out << "# KESTO class registry, written by kesto-regsvr. One section per class or type "
           "library.\n";
    for (const ClassEntry& c : contents.classes) {
        out << "\n[class " << toString(c.clsid) << "]\n"
            << "library=" << c.library << "\nthreading=" << c.threadingModel
            << "\nprogid=" << c.progId << "\n";
    }
    for (const TypeLibEntry& t : contents.typeLibs) {
        out << "\n[typelib " << toString(t.libid) << "]\n"
            << "name=" << t.name << "\nversion=" << t.majorVersion << '.' << t.minorVersion
            << "\nlocale=" << t.locale << "\nlibrary=" << t.library << "\n";
    }
    // The system-wide file is read by every user; a user's own stays private.
    const mode_t mode = m_systemWide ? 0644 : 0600;
    if (const int error = kesto::config::replaceFile(file(), out.str(), mode, folderMode());
        error != 0)
        return writeFailure(file(), std::strerror(error));
    return S_OK;
}

template <class Change> HRESULT ClassRegistry::modify(Change change) {
    const kesto::config::ConfigWriteLock lock(file(), folderMode());
    if (lock.error() != 0)
        return writeFailure(file(), std::strerror(lock.error()));
    Contents contents = *read(file());
    change(contents);
    return write(contents);
}

// The first entry that matches, in the order of precedence of the files.
template <class Entry, class Match>
std::optional<Entry> ClassRegistry::first(std::vector<Entry> Contents::*list, Match match) const {
    for (const auto& registryFile : m_files) {
        const std::shared_ptr<const Contents> contents = read(registryFile);
        for (const Entry& entry : (*contents).*list) {
            if (match(entry))
                return entry;
        }
    }
    return std::nullopt;
}

std::optional<ClassEntry> ClassRegistry::findClass(const CLSID& clsid) const {
    return first(&Contents::classes, [&](const ClassEntry& c) { return c.clsid == clsid; });
}

std::optional<ClassEntry> ClassRegistry::findProgId(std::string_view progId) const {
    return first(&Contents::classes, [&](const ClassEntry& c) { return c.progId == progId; });
}

std::optional<TypeLibEntry> ClassRegistry::findTypeLib(const GUID& libid) const {
    return first(&Contents::typeLibs, [&](const TypeLibEntry& t) { return t.libid == libid; });
}

std::vector<ClassEntry> ClassRegistry::classes() const {
    std::vector<ClassEntry> all;
    for (const auto& registryFile : m_files) {
        for (const ClassEntry& c : read(registryFile)->classes) {
            if (!hasClass(all, c.clsid))
                all.push_back(c);
        }
    }
    return all;
}

HRESULT ClassRegistry::add(const std::vector<ClassEntry>& classes,
                           const std::vector<TypeLibEntry>& typeLibs) {
    for (const ClassEntry& c : classes) {
        if (!storable(c.library) || !storable(c.threadingModel) || !storable(c.progId))
            return reportError(E_INVALIDARG, GUID_NULL, u"ClassRegistry",
                               u"a class registry value cannot hold a line break");
    }
    for (const TypeLibEntry& t : typeLibs) {
        if (!storable(t.name) || !storable(t.library))
            return reportError(E_INVALIDARG, GUID_NULL, u"ClassRegistry",
                               u"a class registry value cannot hold a line break");
    }
    return modify([&](Contents& contents) {
        for (const ClassEntry& c : classes) {
            // One class per identifier and one identifier per programmatic name.
            std::erase_if(contents.classes, [&](const ClassEntry& old) {
                return old.clsid == c.clsid || (!c.progId.empty() && old.progId == c.progId);
            });
            contents.classes.push_back(c);
        }
        for (const TypeLibEntry& t : typeLibs) {
            std::erase_if(contents.typeLibs,
                          [&](const TypeLibEntry& old) { return old.libid == t.libid; });
            contents.typeLibs.push_back(t);
        }
    });
}

HRESULT ClassRegistry::remove(const std::vector<CLSID>& classes,
                              const std::vector<GUID>& typeLibs) {
    return modify([&](Contents& contents) {
        std::erase_if(contents.classes, [&](const ClassEntry& c) {
            return std::find(classes.begin(), classes.end(), c.clsid) != classes.end();
        });
        std::erase_if(contents.typeLibs, [&](const TypeLibEntry& t) {
            return std::find(typeLibs.begin(), typeLibs.end(), t.libid) != typeLibs.end();
        });
    });
}

} // namespace com
