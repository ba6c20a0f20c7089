#pragma once

// What KORVA and KORVA1 share once each has declared its classes: the empty
// collections a PNR starts with, the seven class factories, the class table,
// the type library identity and the four exports. Used once per library at file
// scope, where the library's identifiers and classes (Pnr, Pax, Paxs, ...) are
// visible; `Library` is the library's traits struct (Module, kSource,
// createObject), `LIBID` its type library identifier.

#include "library.h"

#include "com/server.h"

#define KORVA_MODEL_LIBRARY_SERVER(Library, LIBID)                                                 \
    /* A PNR's object properties start out as new, empty collections. */                           \
    com::IDispatch* Library::createObject(const com::IID& iid) {                                   \
        if (iid == IID_PAXS)                                                                       \
            return static_cast<_PAXS*>(new Paxs);                                                  \
        if (iid == IID_ITNS)                                                                       \
            return static_cast<_ITNS*>(new Itns);                                                  \
        if (iid == IID_CRLS)                                                                       \
            return static_cast<_CRLS*>(new Crls);                                                  \
        return nullptr;                                                                            \
    }                                                                                              \
                                                                                                   \
    namespace {                                                                                    \
    com::ClassFactory<Pnr, Library::Module> pnrFactory;                                            \
    com::ClassFactory<Pax, Library::Module> paxFactory;                                            \
    com::ClassFactory<Paxs, Library::Module> paxsFactory;                                          \
    com::ClassFactory<Itn, Library::Module> itnFactory;                                            \
    com::ClassFactory<Itns, Library::Module> itnsFactory;                                          \
    com::ClassFactory<Crl, Library::Module> crlFactory;                                            \
    com::ClassFactory<Crls, Library::Module> crlsFactory;                                          \
                                                                                                   \
    const korva_model::ClassInfo kClasses[] = {                                                    \
        {"PNR", &CLSID_PNR, &pnrFactory},    {"PAX", &CLSID_PAX, &paxFactory},                     \
        {"PAXS", &CLSID_PAXS, &paxsFactory}, {"ITN", &CLSID_ITN, &itnFactory},                     \
        {"ITNS", &CLSID_ITNS, &itnsFactory}, {"CRL", &CLSID_CRL, &crlFactory},                     \
        {"CRLS", &CLSID_CRLS, &crlsFactory},                                                       \
    };                                                                                             \
                                                                                                   \
    const korva_model::LibraryInfo kLibrary{kLibraryName, &LIBID, kMajorVersion, kMinorVersion,    \
                                            kLocale};                                              \
    }                                                                                              \
                                                                                                   \
    KESTO_COM_EXPORT com::HRESULT DllGetClassObject(com::REFCLSID clsid, com::REFIID riid,         \
                                                    void** object) {                               \
        return korva_model::getClassObject(kClasses, clsid, riid, object);                         \
    }                                                                                              \
                                                                                                   \
    KESTO_COM_EXPORT com::HRESULT DllCanUnloadNow() {                                              \
        return korva_model::canUnloadNow<Library::Module>();                                       \
    }                                                                                              \
                                                                                                   \
    KESTO_COM_EXPORT com::HRESULT DllRegisterServer() {                                            \
        return korva_model::registerLibrary(kLibrary, kClasses, &kLibrary);                        \
    }                                                                                              \
                                                                                                   \
    KESTO_COM_EXPORT com::HRESULT DllUnregisterServer() {                                          \
        return korva_model::unregisterLibrary(kLibrary, kClasses);                                 \
    }
