// kesto-regsvr: registers an in-process server library in the current user's
// class registry (or with --system, the system-wide one) by calling its
// DllRegisterServer, or unregisters it with -u.

#include "com/activation.h"
#include "com/bstr.h"
#include "com/classregistry.h"
#include "com/errorinfo.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Exit statuses, documented in --help.
enum Exit { Success = 0, UsageError = 2, LoadFailed = 3, ExportMissing = 4, CallFailed = 5 };

void printUsage(std::FILE* out) {
    std::fputs("Usage: kesto-regsvr [-u] [--system] LIBRARY\n"
               "\n"
               "Registers the in-process server LIBRARY in the class registry by calling its\n"
               "DllRegisterServer.\n"
               "\n"
               "Options:\n"
               "  -u          unregister LIBRARY through its DllUnregisterServer\n"
               "  --system    the class registry of all users, KESTO/classregistry.conf in\n"
               "              the first folder of $XDG_CONFIG_DIRS (default /etc/xdg),\n"
               "              instead of the user's, $XDG_CONFIG_HOME/KESTO/classregistry.conf\n"
               "              (fallback $HOME/.config/KESTO/)\n"
               "  -h, --help  show this text\n"
               "\n"
               "A class in the user's registry takes precedence over the same class in the\n"
               "registry of all users.\n"
               "\n"
               "Exit status: 0 done, 2 usage error, 3 library cannot be loaded,\n"
               "4 an export is missing, 5 the library's registration function failed.\n",
               out);
}

std::string lastDescription(com::HRESULT hr) {
    if (auto info = com::takeErrorInfo(); info && !info->description.empty())
        return com::utf16ToUtf8(info->description);
    return com::describeResult(hr);
}

} // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool systemWide = false;
    const char* library = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            printUsage(stdout);
            return Success;
        }
        if (!std::strcmp(argv[i], "-u") || !std::strcmp(argv[i], "/u")) {
            unregister = true;
        } else if (!std::strcmp(argv[i], "--system")) {
            systemWide = true;
        } else if (argv[i][0] == '-' || library) {
            printUsage(stderr);
            return UsageError;
        } else {
            library = argv[i];
        }
    }
    if (!library) {
        printUsage(stderr);
        return UsageError;
    }

    // The registry records the absolute path, and a bare file name would make
    // the loader search the system's library folders instead.
    std::error_code ec;
    const std::filesystem::path path = std::filesystem::absolute(library, ec);
    if (ec || !std::filesystem::exists(path)) {
        std::fprintf(stderr, "kesto-regsvr: %s: no such file\n", library);
        return LoadFailed;
    }
    const std::string absolute = std::filesystem::weakly_canonical(path).string();

    // The library's registration function builds its own registry object;
    // the environment is what it shares with this program.
    if (systemWide)
        ::setenv(com::kRegistryScopeVariable, "system", 1);
    else
        ::unsetenv(com::kRegistryScopeVariable);

    com::ServerModule module;
    const auto use = unregister ? com::ServerUse::Unregistration : com::ServerUse::Registration;
    if (const com::HRESULT hr = com::loadServer(absolute, use, module); com::FAILED(hr)) {
        std::fprintf(stderr, "kesto-regsvr: %s\n", lastDescription(hr).c_str());
        return hr == com::CO_E_ERRORINDLL ? ExportMissing : LoadFailed;
    }
    com::clearErrorInfo();
    const com::HRESULT hr = unregister ? module.unregisterServer() : module.registerServer();
    if (com::FAILED(hr)) {
        std::fprintf(stderr, "kesto-regsvr: %s of %s failed (0x%08X): %s\n",
                     unregister ? "DllUnregisterServer" : "DllRegisterServer", absolute.c_str(),
                     static_cast<unsigned>(hr), lastDescription(hr).c_str());
        return CallFailed;
    }
    std::printf("kesto-regsvr: %s %s in %s\n", unregister ? "unregistered" : "registered",
                absolute.c_str(), com::ClassRegistry().file().c_str());
    return Success;
}
