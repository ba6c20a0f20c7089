#pragma once

// What an in-process server library exports, and helpers for writing one.
// A library exports exactly the four functions below (extern "C", default
// visibility); everything else in it stays hidden.

#include "com/types.h"

#include <string>

#define KESTO_COM_EXPORT extern "C" __attribute__((visibility("default")))

namespace com {

using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();

// The absolute path of the loaded library (or program) that holds `address`;
// empty when unknown.
std::string modulePath(const void* address);

} // namespace com
