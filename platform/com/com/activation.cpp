#include "com/activation.h"

#include "com/bstr.h"
#include "com/classregistry.h"
#include "com/comptr.h"
#include "com/errorinfo.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

namespace com {

namespace {

constexpr std::u16string_view kSource = u"Activation";

HRESULT fail(HRESULT code, const std::string& description) {
    return reportError(code, GUID_NULL, kSource, utf8ToUtf16(description));
}

template <class Function> Function resolve(void* handle, const char* name) {
    return reinterpret_cast<Function>(dlsym(handle, name));
}

// Libraries stay loaded once loaded (RTLD_NODELETE), so each is loaded and
// resolved once per process for activation, not for every object created.
HRESULT activationModule(const std::string& path, ServerModule& module) {
    static std::mutex mutex;
    static std::map<std::string, ServerModule> loaded;
    const std::lock_guard lock(mutex);
    if (const auto found = loaded.find(path); found != loaded.end()) {
        module = found->second;
        return S_OK;
    }
    const HRESULT hr = loadServer(path, ServerUse::Activation, module);
    if (SUCCEEDED(hr))
        loaded.emplace(path, module);
    return hr;
}

} // namespace

std::string modulePath(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname)
        return {};
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : canonical.string();
}

HRESULT loadServer(const std::string& path, ServerUse use, ServerModule& module) {
    module = ServerModule{};
    dlerror();
    // Never unloaded: objects and error texts of the library may outlive any
    // one caller's interest in it.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) {
        const char* why = dlerror();
        return fail(CO_E_DLLNOTFOUND,
                    "cannot load the library " + path + ": " + (why ? why : "unknown error"));
    }
    module.path = path;
    module.getClassObject = resolve<DllGetClassObjectFunction>(handle, "DllGetClassObject");
    module.canUnloadNow = resolve<DllCanUnloadNowFunction>(handle, "DllCanUnloadNow");
    module.registerServer = resolve<DllRegisterServerFunction>(handle, "DllRegisterServer");
    module.unregisterServer = resolve<DllUnregisterServerFunction>(handle, "DllUnregisterServer");

    std::string missing;
    auto need = [&missing](bool present, const char* name) {
        if (!present)
            missing += (missing.empty() ? "" : ", ") + std::string(name);
    };
    switch (use) {
    case ServerUse::Activation:
        need(module.getClassObject, "DllGetClassObject");
        need(module.canUnloadNow, "DllCanUnloadNow");
        break;
    case ServerUse::Registration:
        need(module.registerServer, "DllRegisterServer");
        break;
    case ServerUse::Unregistration:
        need(module.unregisterServer, "DllUnregisterServer");
        break;
    }
    dlclose(handle); // RTLD_NODELETE keeps it mapped; this only drops our count
    if (!missing.empty())
        return fail(CO_E_ERRORINDLL, "the library " + path + " does not export " + missing);
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const ClassRegistry registry;
    const auto entry = registry.findClass(clsid);
    if (!entry) {
        std::string files;
        for (const auto& file : registry.files())
            files += (files.empty() ? "" : " or ") + file.string();
        return fail(REGDB_E_CLASSNOTREG,
                    "class " + toString(clsid) + " is not registered in " + files);
    }
    ServerModule module;
    if (const HRESULT hr = activationModule(entry->library, module); FAILED(hr))
        return hr;
    const HRESULT hr = module.getClassObject(clsid, riid, object);
    if (FAILED(hr) && !hasErrorInfo())
        return fail(hr, "the library " + entry->library + " has no factory for class " +
                            toString(clsid) + ": " + describeResult(hr));
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    ComPtr<IClassFactory> factory;
    if (const HRESULT hr = CoGetClassObject(clsid, IClassFactory::iid, factory.receiveVoid());
        FAILED(hr))
        return hr;
    return factory->CreateInstance(outer, riid, object);
}

} // namespace com
