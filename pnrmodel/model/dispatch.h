#pragma once

// Helpers for the IDispatch side of the library's objects: names to
// identifiers, argument access and the hand-over of a member's error to the
// caller's EXCEPINFO.

#include "com/bstr.h"
#include "com/errorinfo.h"
#include "com/interfaces.h"
#include "com/objectbase.h"

#include <span>
#include <string_view>

namespace korva_model {

// Member names compare without regard to ASCII case, as dispatch names do.
inline bool sameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z')
            x = static_cast<char16_t>(x - 32);
        if (y >= u'a' && y <= u'z')
            y = static_cast<char16_t>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

// The first name is a member (identifier = its 1-based position in `names`);
// the rest would be parameter names, which are not resolvable here.
inline com::HRESULT idsOfNames(std::span<const std::u16string_view> names, com::OLECHAR** wanted,
                               std::uint32_t count, com::DISPID* ids) {
    if (!wanted || !ids)
        return com::E_POINTER;
    if (count == 0)
        return com::S_OK;
    com::HRESULT hr = com::S_OK;
    ids[0] = com::DISPID_UNKNOWN;
    const std::u16string_view name = wanted[0] ? std::u16string_view(wanted[0]) : u"";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (sameName(names[i], name)) {
            ids[0] = static_cast<com::DISPID>(i + 1);
            break;
        }
    }
    if (ids[0] == com::DISPID_UNKNOWN)
        hr = com::DISP_E_UNKNOWNNAME;
    for (std::uint32_t i = 1; i < count; ++i) {
        ids[i] = com::DISPID_UNKNOWN;
        hr = com::DISP_E_UNKNOWNNAME;
    }
    return hr;
}

// Argument `position` (0 = first, as the caller wrote them); the array holds
// them in reverse order.
inline com::VARIANT* argument(com::DISPPARAMS* params, std::uint32_t position) {
    return &params->rgvarg[params->cArgs - 1 - position];
}

inline std::uint32_t argumentCount(const com::DISPPARAMS* params) {
    return params ? params->cArgs : 0;
}

// A member failed with hr: when the caller gave an EXCEPINFO, the thread's
// error info moves into it and the result is DISP_E_EXCEPTION.
inline com::HRESULT memberFailure(com::HRESULT hr, com::EXCEPINFO* exception) {
    if (!exception)
        return hr;
    auto info = com::takeErrorInfo();
    *exception = com::EXCEPINFO{};
    exception->scode = hr;
    if (info) {
        exception->bstrSource = com::allocBstr(info->source);
        exception->bstrDescription = com::allocBstr(info->description);
    } else {
        exception->bstrDescription = com::allocBstr(com::utf8ToUtf16(com::describeResult(hr)));
    }
    return com::DISP_E_EXCEPTION;
}

// An object with one dual interface whose IDispatch offers names and
// invocation but no type information.
template <class Interface, class Module>
class DispatchObject : public com::SingleInterfaceObject<Interface, Module> {
public:
    com::HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        if (!count)
            return com::E_POINTER;
        *count = 0;
        return com::S_OK;
    }
    com::HRESULT GetTypeInfo(std::uint32_t, com::LCID, void** typeInfo) override {
        if (typeInfo)
            *typeInfo = nullptr;
        return com::DISP_E_BADINDEX;
    }
};

} // namespace korva_model
