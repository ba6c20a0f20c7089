#pragma once

// The four exports of a booking object library, shared by KORVA and KORVA1:
// the class table gives each class its identifier and factory, the library
// info its type library identity.

#include "com/activation.h"
#include "com/bstr.h"
#include "com/classregistry.h"
#include "com/errorinfo.h"
#include "com/objectbase.h"

#include <span>
#include <string>
#include <vector>

namespace korva_model {

struct ClassInfo {
    const char* name; // PNR, PAX, ...
    const com::CLSID* clsid;
    com::IClassFactory* factory;
};

struct LibraryInfo {
    const char* name; // KORVA or KORVA1, also the first part of each ProgID
    const com::GUID* libid;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    com::LCID locale;
};

inline com::HRESULT getClassObject(std::span<const ClassInfo> classes, com::REFCLSID clsid,
                                   com::REFIID riid, void** object) {
    if (!object)
        return com::E_POINTER;
    *object = nullptr;
    for (const ClassInfo& c : classes) {
        if (*c.clsid == clsid)
            return c.factory->QueryInterface(riid, object);
    }
    return com::CLASS_E_CLASSNOTAVAILABLE;
}

// `anchor` is any address inside the library, to find the library's own path.
inline com::HRESULT registerLibrary(const LibraryInfo& library, std::span<const ClassInfo> classes,
                                    const void* anchor) {
    const std::string path = com::modulePath(anchor);
    if (path.empty())
        return com::reportError(com::SELFREG_E_CLASS, com::GUID_NULL, u"DllRegisterServer",
                                u"cannot tell where this library was loaded from");
    std::vector<com::ClassEntry> entries;
    for (const ClassInfo& c : classes)
        entries.push_back({*c.clsid, path, "Apartment", std::string(library.name) + "." + c.name});
    const com::TypeLibEntry typeLib{*library.libid,       library.name,   library.majorVersion,
                                    library.minorVersion, library.locale, path};
    return com::ClassRegistry().add(entries, {typeLib});
}

inline com::HRESULT unregisterLibrary(const LibraryInfo& library,
                                      std::span<const ClassInfo> classes) {
    std::vector<com::CLSID> ids;
    for (const ClassInfo& c : classes)
        ids.push_back(*c.clsid);
    return com::ClassRegistry().remove(ids, {*library.libid});
}

template <class Module> com::HRESULT canUnloadNow() {
    return Module::idle() ? com::S_OK : com::S_FALSE;
}

} // namespace korva_model
