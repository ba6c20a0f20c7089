#pragma once

// Where the KORVA library is and what to tell the operator when it cannot be
// activated.

#include "korvaclient.h"

#include "com/types.h"

#include <string>

namespace korva {

// The installed program's libkorva.so in its private library folder, or the
// one this build produced.
std::string korvaLibraryPath();

// The error for a failed activation, naming the library and how to register it.
Error activationError(com::HRESULT hr);

} // namespace korva
