#include "com/classregistry.h"

#include "com/bstr.h"
#include "com/errorinfo.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

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

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// An exclusive lock on a sibling file, held for one read-modify-write.
class FileLock {
public:
    explicit FileLock(const std::filesystem::path& file)
        : m_fd(::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd); // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

std::filesystem::path ClassRegistry::defaultPath() {
    // An unset, empty or relative XDG_CONFIG_HOME is ignored, as XDG says.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : "/") / ".config";
    }
    return base / "KESTO" / kFileName;
}

ClassRegistry::ClassRegistry(std::filesystem::path file) : m_file(std::move(file)) {}

// Activation reads the registry for every object it creates, so the parsed
// contents are kept while the file stays the same one: writers replace it by a
// rename, so a change shows as another inode, size or modification time.
ClassRegistry::Contents ClassRegistry::read() const {
    struct Cached {
        std::string path;
        dev_t device;
        ino_t inode;
        off_t size;
        std::int64_t modifiedNs;
        Contents contents;
    };
    static std::mutex mutex;
    static std::optional<Cached> cache;

    struct stat info {};
    if (::stat(m_file.c_str(), &info) != 0)
        return {};
    const std::int64_t modifiedNs =
        std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    const std::lock_guard lock(mutex);
    if (cache && cache->path == m_file.string() && cache->device == info.st_dev &&
        cache->inode == info.st_ino && cache->size == info.st_size &&
        cache->modifiedNs == modifiedNs)
        return cache->contents;
    std::ifstream in(m_file);
    Contents contents = parse(in);
    cache = Cached{m_file.string(), info.st_dev, info.st_ino, info.st_size, modifiedNs, contents};
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
    const std::string text = out.str();

    const std::string temp = m_file.string() + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return writeFailure(m_file, std::strerror(errno));
    // An existing file keeps its owner-only mode even if the umask is loose.
    ::fchmod(fd, 0600);
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return writeFailure(m_file, why);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temp.c_str());
        return writeFailure(m_file, why);
    }
    if (::rename(temp.c_str(), m_file.c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temp.c_str());
        return writeFailure(m_file, why);
    }
    return S_OK;
}

template <class Change> HRESULT ClassRegistry::modify(Change change) {
    std::error_code ec;
    const auto folder = m_file.parent_path();
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return writeFailure(m_file, ec.message());
    FileLock lock(m_file);
    if (!lock.held())
        return writeFailure(m_file, std::strerror(errno));
    Contents contents = read();
    change(contents);
    return write(contents);
}

std::optional<ClassEntry> ClassRegistry::findClass(const CLSID& clsid) const {
    for (ClassEntry& c : read().classes) {
        if (c.clsid == clsid)
            return std::move(c);
    }
    return std::nullopt;
}

std::optional<ClassEntry> ClassRegistry::findProgId(std::string_view progId) const {
    for (ClassEntry& c : read().classes) {
        if (c.progId == progId)
            return std::move(c);
    }
    return std::nullopt;
}

std::optional<TypeLibEntry> ClassRegistry::findTypeLib(const GUID& libid) const {
    for (TypeLibEntry& t : read().typeLibs) {
        if (t.libid == libid)
            return std::move(t);
    }
    return std::nullopt;
}

std::vector<ClassEntry> ClassRegistry::classes() const {
    return read().classes;
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
