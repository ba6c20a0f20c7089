#pragma once

// Calls into the object model for the client layer: failures become
// korva::Error with the library's description.

#include "korvaclient.h"

#include "com/interfaces.h"
#include "com/variant.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace korva {

// Throws Error for a failed HRESULT, with the thread's error description.
void check(com::HRESULT hr);

inline std::u16string toUtf16(const QString& text) {
    return text.toStdU16String();
}

// Invokes the member `name` through IDispatch; arguments in the order written.
com::Variant dispatchCall(com::IDispatch* object, std::string_view name, std::uint16_t flags,
                          std::vector<com::Variant> args);

} // namespace korva
