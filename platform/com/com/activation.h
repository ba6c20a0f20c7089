#pragma once

// Class activation: the class registry names the library of a class
// identifier; the library is loaded once (and stays loaded for the life of the
// process) and asked for the class's factory through DllGetClassObject.
// Failures carry a description in the thread's error info.

#include "com/interfaces.h"
#include "com/server.h"

#include <string>

namespace com {

// The exports of one loaded server library; absent ones are null.
struct ServerModule {
    std::string path;
    DllGetClassObjectFunction getClassObject = nullptr;
    DllCanUnloadNowFunction canUnloadNow = nullptr;
    DllRegisterServerFunction registerServer = nullptr;
    DllUnregisterServerFunction unregisterServer = nullptr;
};

enum class ServerUse { Activation, Registration, Unregistration };

// Loads the library and resolves its exports. Fails with CO_E_DLLNOTFOUND when
// the library cannot be loaded and CO_E_ERRORINDLL when an export that `use`
// needs is missing; the description names the library and each missing export.
HRESULT loadServer(const std::string& path, ServerUse use, ServerModule& module);

HRESULT CoGetClassObject(REFCLSID clsid, REFIID riid, void** object);
// Creates an object of the class and asks it for the interface riid.
// REGDB_E_CLASSNOTREG when the class registry does not know the class.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, REFIID riid, void** object);

} // namespace com
