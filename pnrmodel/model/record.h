#pragma once

// A plain data object (PNR, PAX, ITN, CRL): properties that store and return
// exactly what was put, reachable through the dual interface and by name.
//
// Library is the library's traits: `Module` (its object count), `kSource`
// (the error source) and `createObject(iid)`, which makes a new object with
// the given interface for an object property at construction.

#include "dispatch.h"

#include "com/objectbase.h"
#include "com/variant.h"

#include <array>
#include <new>
#include <span>

namespace korva_model {

enum class Kind { Object, Text, Int32 };

struct MemberInfo {
    std::u16string_view name;
    Kind kind;
    const com::IID* objectIid; // for Kind::Object
};

template <class Interface, class Library>
class Record : public DispatchObject<Interface, typename Library::Module> {
public:
    com::HRESULT GetIDsOfNames(com::REFIID, com::OLECHAR** names, std::uint32_t count, com::LCID,
                               com::DISPID* ids) override {
        return idsOfNames(m_names, names, count, ids);
    }
    com::HRESULT Invoke(com::DISPID id, com::REFIID riid, com::LCID, std::uint16_t flags,
                        com::DISPPARAMS* params, com::VARIANT* result, com::EXCEPINFO* exception,
                        std::uint32_t* argError) override;

protected:
    // Members in interface order; object properties get a new object each, in
    // that order.
    Record(std::span<const MemberInfo> members, std::span<const std::u16string_view> names)
        : m_members(members), m_names(names), m_values(members.size()) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            com::VARIANT& v = *m_values[i].get();
            switch (members[i].kind) {
            case Kind::Text:
                v.vt = com::VT_BSTR; // a null BSTR: the empty text
                break;
            case Kind::Int32:
                v.vt = com::VT_I4;
                break;
            case Kind::Object:
                v.vt = com::VT_DISPATCH;
                v.pdispVal = Library::createObject(*members[i].objectIid);
                if (!v.pdispVal)
                    throw std::bad_alloc();
                break;
            }
        }
    }
    // Releases the values in member order (PNR: PAXS, ITNS, CRLS).
    ~Record() override {
        for (com::Variant& v : m_values)
            com::VariantClear(v.get());
    }

    com::HRESULT putText(std::size_t i, com::BSTR value) {
        com::BSTR copy = value ? com::allocBstr(com::bstrView(value)) : nullptr;
        if (value && !copy)
            return com::E_OUTOFMEMORY;
        com::VARIANT& v = *m_values[i].get();
        com::SysFreeString(v.bstrVal);
        v.bstrVal = copy;
        return com::S_OK;
    }
    com::HRESULT getText(std::size_t i, com::BSTR* value) const {
        if (!value)
            return com::E_POINTER;
        const com::BSTR stored = m_values[i].get()->bstrVal;
        *value = stored ? com::allocBstr(com::bstrView(stored)) : nullptr;
        return stored && !*value ? com::E_OUTOFMEMORY : com::S_OK;
    }
    com::HRESULT putInt(std::size_t i, std::int32_t value) {
        m_values[i].get()->lVal = value;
        return com::S_OK;
    }
    com::HRESULT getInt(std::size_t i, std::int32_t* value) const {
        if (!value)
            return com::E_POINTER;
        *value = m_values[i].get()->lVal;
        return com::S_OK;
    }
    // `value` is already the member's interface (as IDispatch); null is allowed.
    com::HRESULT putObject(std::size_t i, com::IDispatch* value) {
        if (value)
            value->AddRef();
        com::VARIANT& v = *m_values[i].get();
        com::IDispatch* old = std::exchange(v.pdispVal, value);
        if (old)
            old->Release();
        return com::S_OK;
    }
    com::HRESULT getObject(std::size_t i, com::IDispatch** value) const {
        if (!value)
            return com::E_POINTER;
        *value = m_values[i].get()->pdispVal;
        if (*value)
            (*value)->AddRef();
        return com::S_OK;
    }

private:
    com::HRESULT put(const MemberInfo& member, std::size_t i, const com::VARIANT* arg,
                     std::uint32_t* argError);
    com::HRESULT get(const MemberInfo& member, std::size_t i, com::VARIANT* result) const;

    std::span<const MemberInfo> m_members;
    std::span<const std::u16string_view> m_names;
    std::vector<com::Variant> m_values;
};

template <class Interface, class Library>
com::HRESULT Record<Interface, Library>::Invoke(com::DISPID id, com::REFIID riid, com::LCID,
                                                std::uint16_t flags, com::DISPPARAMS* params,
                                                com::VARIANT* result, com::EXCEPINFO* exception,
                                                std::uint32_t* argError) {
    if (riid != com::GUID_NULL)
        return com::DISP_E_UNKNOWNINTERFACE;
    if (id < 1 || static_cast<std::size_t>(id) > m_members.size())
        return com::DISP_E_MEMBERNOTFOUND;
    const std::size_t i = static_cast<std::size_t>(id) - 1;
    const MemberInfo& member = m_members[i];

    com::HRESULT hr = com::S_OK;
    if (flags & (com::DISPATCH_PROPERTYPUT | com::DISPATCH_PROPERTYPUTREF)) {
        if (argumentCount(params) != 1)
            return com::DISP_E_BADPARAMCOUNT;
        if (params->cNamedArgs > 1 ||
            (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != com::DISPID_PROPERTYPUT))
            return com::DISP_E_PARAMNOTFOUND;
        // Texts and numbers have no by-reference put; an object property
        // takes either form, as callers differ in which one they use.
        if (!(flags & com::DISPATCH_PROPERTYPUT) && member.kind != Kind::Object)
            return com::DISP_E_MEMBERNOTFOUND;
        hr = put(member, i, argument(params, 0), argError);
    } else if (flags & (com::DISPATCH_PROPERTYGET | com::DISPATCH_METHOD)) {
        if (argumentCount(params) != 0)
            return com::DISP_E_BADPARAMCOUNT;
        hr = get(member, i, result);
    } else {
        return com::DISP_E_MEMBERNOTFOUND;
    }
    return com::FAILED(hr) && hr != com::DISP_E_TYPEMISMATCH && hr != com::DISP_E_OVERFLOW
               ? memberFailure(hr, exception)
               : hr;
}

template <class Interface, class Library>
com::HRESULT Record<Interface, Library>::put(const MemberInfo& member, std::size_t i,
                                             const com::VARIANT* arg, std::uint32_t* argError) {
    com::Variant converted;
    const com::VARTYPE wanted = member.kind == Kind::Text    ? com::VT_BSTR
                                : member.kind == Kind::Int32 ? com::VT_I4
                                                             : com::VT_UNKNOWN;
    com::HRESULT hr = com::VariantChangeType(converted.get(), arg, 0, wanted);
    if (com::FAILED(hr)) {
        if (argError)
            *argError = 0;
        return hr;
    }
    switch (member.kind) {
    case Kind::Text:
        return putText(i, converted.get()->bstrVal);
    case Kind::Int32:
        return putInt(i, converted.get()->lVal);
    case Kind::Object: {
        // The property is typed: only an object with the member's interface fits.
        com::ComPtr<com::IUnknown> object(converted.get()->punkVal);
        com::ComPtr<com::IDispatch> typed;
        if (object && com::FAILED(object->QueryInterface(*member.objectIid, typed.receiveVoid()))) {
            if (argError)
                *argError = 0;
            return com::DISP_E_TYPEMISMATCH;
        }
        return putObject(i, typed.get());
    }
    }
    return com::E_UNEXPECTED;
}

template <class Interface, class Library>
com::HRESULT Record<Interface, Library>::get(const MemberInfo& member, std::size_t i,
                                             com::VARIANT* result) const {
    if (!result)
        return com::S_OK; // nothing asked for
    com::VariantClear(result);
    switch (member.kind) {
    case Kind::Text:
        result->vt = com::VT_BSTR;
        return getText(i, &result->bstrVal);
    case Kind::Int32:
        result->vt = com::VT_I4;
        return getInt(i, &result->lVal);
    case Kind::Object:
        result->vt = com::VT_DISPATCH;
        return getObject(i, &result->pdispVal);
    }
    return com::E_UNEXPECTED;
}

} // namespace korva_model

// Defining a record class from a member list (see korva/declare.h): the
// accessors of the interface map onto the storage by member index.
#define KORVA_MODEL_ENUM_OBJ(Name, Interface) Name,
#define KORVA_MODEL_ENUM_TEXT(Name) Name,
#define KORVA_MODEL_ENUM_INT(Name) Name,
#define KORVA_MODEL_INFO_OBJ(Name, Interface)                                                      \
    korva_model::MemberInfo{u"" #Name, korva_model::Kind::Object, &Interface::iid},
#define KORVA_MODEL_INFO_TEXT(Name)                                                                \
    korva_model::MemberInfo{u"" #Name, korva_model::Kind::Text, nullptr},
#define KORVA_MODEL_INFO_INT(Name)                                                                 \
    korva_model::MemberInfo{u"" #Name, korva_model::Kind::Int32, nullptr},
#define KORVA_MODEL_NAME_OBJ(Name, Interface) std::u16string_view(u"" #Name),
#define KORVA_MODEL_NAME_TEXT(Name) std::u16string_view(u"" #Name),
#define KORVA_MODEL_NAME_INT(Name) std::u16string_view(u"" #Name),
#define KORVA_MODEL_IMPL_OBJ(Name, Interface)                                                      \
    com::HRESULT get_##Name(Interface** value) override {                                          \
        if (!value)                                                                                \
            return com::E_POINTER;                                                                 \
        com::IDispatch* held = nullptr;                                                            \
        const com::HRESULT hr = this->getObject(Member::Name, &held);                              \
        *value = static_cast<Interface*>(held);                                                    \
        return hr;                                                                                 \
    }                                                                                              \
    com::HRESULT putref_##Name(Interface* value) override {                                        \
        return this->putObject(Member::Name, value);                                               \
    }
#define KORVA_MODEL_IMPL_TEXT(Name)                                                                \
    com::HRESULT put_##Name(com::BSTR value) override {                                            \
        return this->putText(Member::Name, value);                                                 \
    }                                                                                              \
    com::HRESULT get_##Name(com::BSTR* value) override {                                           \
        return this->getText(Member::Name, value);                                                 \
    }
#define KORVA_MODEL_IMPL_INT(Name)                                                                 \
    com::HRESULT put_##Name(std::int32_t value) override {                                         \
        return this->putInt(Member::Name, value);                                                  \
    }                                                                                              \
    com::HRESULT get_##Name(std::int32_t* value) override {                                        \
        return this->getInt(Member::Name, value);                                                  \
    }

#define KORVA_MODEL_RECORD_CLASS(ClassName, Interface, MEMBERS, Library)                           \
    class ClassName final : public korva_model::Record<Interface, Library> {                       \
    public:                                                                                        \
        enum Member : std::size_t {                                                                \
            MEMBERS(KORVA_MODEL_ENUM_OBJ, KORVA_MODEL_ENUM_TEXT, KORVA_MODEL_ENUM_INT)             \
        };                                                                                         \
        static constexpr korva_model::MemberInfo kMembers[] = {                                    \
            MEMBERS(KORVA_MODEL_INFO_OBJ, KORVA_MODEL_INFO_TEXT, KORVA_MODEL_INFO_INT)};           \
        static constexpr std::u16string_view kNames[] = {                                          \
            MEMBERS(KORVA_MODEL_NAME_OBJ, KORVA_MODEL_NAME_TEXT, KORVA_MODEL_NAME_INT)};           \
        ClassName() : Record(kMembers, kNames) {}                                                  \
        MEMBERS(KORVA_MODEL_IMPL_OBJ, KORVA_MODEL_IMPL_TEXT, KORVA_MODEL_IMPL_INT)                 \
    };
