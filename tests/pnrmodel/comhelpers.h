#pragma once

// Calls into the object model as a client sees it: activation by class
// identifier, raw vtable slots and IDispatch by name.

#include "com/activation.h"
#include "com/bstr.h"
#include "com/comptr.h"
#include "com/errorinfo.h"

#include <QString>
#include <QTest>

#include <vector>

template <class Interface> com::ComPtr<Interface> activate(const com::CLSID& clsid) {
    com::ComPtr<Interface> object;
    const com::HRESULT hr =
        com::CoCreateInstance(clsid, nullptr, Interface::iid, object.receiveVoid());
    if (com::FAILED(hr))
        qWarning("activation failed: 0x%08X", static_cast<unsigned>(hr));
    return object;
}

inline QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::u16string wide(const QString& text) {
    return text.toStdU16String();
}

// Slot `index` of the object's vtable (0 = QueryInterface), called as a member
// of the given signature.
template <class... Args> com::HRESULT callSlot(void* object, std::size_t index, Args... args) {
    using Function = com::HRESULT (*)(void*, Args...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Function>(table[index])(object, args...);
}

struct DispatchResult {
    com::HRESULT hr = com::S_OK;
    com::Variant value;
    com::HRESULT scode = com::S_OK; // from EXCEPINFO on DISP_E_EXCEPTION
    QString description;
};

inline DispatchResult invokeByName(com::IDispatch* object, const QString& name, std::uint16_t flags,
                                   std::vector<com::Variant> args = {}) {
    DispatchResult r;
    std::u16string n = wide(name);
    com::OLECHAR* names[] = {n.data()};
    com::DISPID id = 0;
    r.hr = object->GetIDsOfNames(com::GUID_NULL, names, 1, 0, &id);
    if (com::FAILED(r.hr))
        return r;
    std::vector<com::VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it)
        reversed.push_back(*it->get());
    com::DISPID putId = com::DISPID_PROPERTYPUT;
    const bool put = flags & (com::DISPATCH_PROPERTYPUT | com::DISPATCH_PROPERTYPUTREF);
    com::DISPPARAMS params{reversed.data(), put ? &putId : nullptr,
                           static_cast<std::uint32_t>(reversed.size()), put ? 1u : 0u};
    com::EXCEPINFO exception{};
    std::uint32_t argError = 0;
    r.hr =
        object->Invoke(id, com::GUID_NULL, 0, flags, &params, r.value.get(), &exception, &argError);
    if (r.hr == com::DISP_E_EXCEPTION) {
        r.scode = exception.scode;
        r.description = toQString(com::bstrView(exception.bstrDescription));
        com::SysFreeString(exception.bstrSource);
        com::SysFreeString(exception.bstrDescription);
        com::SysFreeString(exception.bstrHelpFile);
    }
    return r;
}

inline QString getTextByName(com::IDispatch* object, const QString& name) {
    DispatchResult r = invokeByName(object, name, com::DISPATCH_PROPERTYGET);
    if (com::FAILED(r.hr) || r.value.type() != com::VT_BSTR)
        return QStringLiteral("<failed>");
    return toQString(com::bstrView(r.value.get()->bstrVal));
}

inline com::HRESULT putTextByName(com::IDispatch* object, const QString& name,
                                  const QString& value) {
    return invokeByName(object, name, com::DISPATCH_PROPERTYPUT, {com::Variant(wide(value))}).hr;
}

// The COM identity of an object.
inline com::IUnknown* identity(com::IUnknown* object) {
    com::ComPtr<com::IUnknown> unknown;
    object->QueryInterface(com::IUnknown::iid, unknown.receiveVoid());
    return unknown.get(); // the object stays alive through the caller's reference
}

inline constexpr com::HRESULT kInvalidArgument = com::makeFailure(0xA, 5);
inline constexpr com::HRESULT kDuplicateKey = com::makeFailure(0xA, 457);
