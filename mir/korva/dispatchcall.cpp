#include "dispatchcall.h"

#include "com/bstr.h"
#include "com/errorinfo.h"

namespace korva {

void check(com::HRESULT hr) {
    if (com::SUCCEEDED(hr))
        return;
    const auto info = com::takeErrorInfo();
    if (info && !info->description.empty())
        throw Error(hr, com::utf16ToUtf8(info->description));
    throw Error(hr, com::describeResult(hr));
}

com::Variant dispatchCall(com::IDispatch* object, std::string_view name, std::uint16_t flags,
                          std::vector<com::Variant> args) {
    if (!object)
        throw Error(com::E_POINTER, "the object is missing");
    std::u16string wide = com::utf8ToUtf16(name);
    com::OLECHAR* names[] = {wide.data()};
    com::DISPID id = com::DISPID_UNKNOWN;
    if (com::FAILED(object->GetIDsOfNames(com::GUID_NULL, names, 1, 0, &id)))
        throw Error(com::DISP_E_UNKNOWNNAME, "the object has no member " + std::string(name));

    // The callee reads its arguments last first.
    std::vector<com::VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        reversed.push_back(*it->get());
    com::DISPID putId = com::DISPID_PROPERTYPUT;
    const bool isPut = flags & (com::DISPATCH_PROPERTYPUT | com::DISPATCH_PROPERTYPUTREF);
    com::DISPPARAMS params{reversed.data(), isPut ? &putId : nullptr,
                           static_cast<std::uint32_t>(reversed.size()), isPut ? 1u : 0u};

    com::Variant result;
    com::EXCEPINFO exception{};
    std::uint32_t argError = 0;
    const com::HRESULT hr =
        object->Invoke(id, com::GUID_NULL, 0, flags, &params, result.get(), &exception, &argError);
    if (hr == com::DISP_E_EXCEPTION) {
        const std::string description = com::utf16ToUtf8(com::bstrView(exception.bstrDescription));
        com::SysFreeString(exception.bstrSource);
        com::SysFreeString(exception.bstrDescription);
        com::SysFreeString(exception.bstrHelpFile);
        throw Error(exception.scode, description);
    }
    if (com::FAILED(hr))
        throw Error(hr, std::string(name) + ": " + com::describeResult(hr));
    return result;
}

} // namespace korva
