#pragma once

// PAXS, ITNS, CRLS: a keyed list of members of one interface, with Add, Item,
// Count, Remove and NewEnum. Keys are the decimal text of the number the
// caller gives to Add; Item looks up by key only, Remove takes a position for
// a number and a key for a text.

#include "dispatch.h"
#include "enumerator.h"
#include "keyedlist.h"

#include "com/comptr.h"
#include "com/objectbase.h"
#include "com/variant.h"

#include <array>
#include <new>
#include <string>

namespace korva_model {

inline constexpr std::array<std::u16string_view, 5> kCollectionNames = {u"Add", u"Item", u"Count",
                                                                        u"Remove", u"NewEnum"};

template <class Interface, class Library>
class Collection final : public DispatchObject<Interface, typename Library::Module> {
public:
    using Member = typename Interface::MemberInterface;
    enum Dispid : com::DISPID { AddId = 1, ItemId, CountId, RemoveId, NewEnumId };

    com::HRESULT Add(Member** member, std::int16_t* zcnt, Member** result) override {
        if (result)
            *result = nullptr;
        if (!member || !zcnt || !result)
            return com::E_POINTER;
        // The parameter is typed: an object without this library's member
        // interface (say, one of the sibling library) does not fit.
        com::ComPtr<com::IDispatch> typed;
        if (!*member || com::FAILED((*member)->QueryInterface(Member::iid, typed.receiveVoid())))
            return fail(com::DISP_E_TYPEMISMATCH, u"Type mismatch");
        try {
            if (!m_list.add(decimalKey(*zcnt), typed))
                return fail(kDuplicateKey, kDuplicateKeyText);
        } catch (const std::bad_alloc&) {
            return com::E_OUTOFMEMORY;
        }
        *result = static_cast<Member*>(typed.detach());
        return com::S_OK;
    }

    com::HRESULT get_Item(com::VARIANT* vntIndexKey, Member** result) override {
        if (!result || !vntIndexKey)
            return com::E_POINTER;
        *result = nullptr;
        com::Variant key;
        if (com::FAILED(com::VariantChangeType(key.get(), vntIndexKey, 0, com::VT_BSTR)))
            return fail(kInvalidArgument, kInvalidArgumentText);
        com::IDispatch* found = m_list.find(com::bstrView(key.get()->bstrVal));
        if (!found)
            return fail(kInvalidArgument, kInvalidArgumentText);
        found->AddRef();
        *result = static_cast<Member*>(found);
        return com::S_OK;
    }

    com::HRESULT get_Count(std::int32_t* result) override {
        if (!result)
            return com::E_POINTER;
        *result = static_cast<std::int32_t>(m_list.size());
        return com::S_OK;
    }

    com::HRESULT Remove(com::VARIANT* vntIndexKey) override {
        if (!vntIndexKey)
            return com::E_POINTER;
        com::VARIANT value = *vntIndexKey;
        if (value.vt == (com::VT_BYREF | com::VT_VARIANT) && value.pvarVal)
            value = *value.pvarVal;
        const com::VARTYPE type = value.vt & ~com::VT_BYREF;
        bool removed = false;
        if (type == com::VT_I2 || type == com::VT_I4) {
            com::Variant position;
            if (com::SUCCEEDED(com::VariantChangeType(position.get(), &value, 0, com::VT_I4)) &&
                position.get()->lVal >= 1)
                removed = m_list.removeAt(static_cast<std::size_t>(position.get()->lVal));
        } else if (type == com::VT_BSTR) {
            com::Variant key;
            if (com::SUCCEEDED(com::VariantChangeType(key.get(), &value, 0, com::VT_BSTR)))
                removed = m_list.removeKey(com::bstrView(key.get()->bstrVal));
        }
        return removed ? com::S_OK : fail(kInvalidArgument, kInvalidArgumentText);
    }

    com::HRESULT get_NewEnum(com::IUnknown** result) override {
        if (!result)
            return com::E_POINTER;
        *result = nullptr;
        try {
            std::vector<com::ComPtr<com::IDispatch>> members;
            members.reserve(m_list.size());
            for (const KeyedList::Entry& e : m_list.entries())
                members.push_back(e.member);
            *result = new MemberEnumerator<typename Library::Module>(std::move(members));
        } catch (const std::bad_alloc&) {
            return com::E_OUTOFMEMORY;
        }
        return com::S_OK;
    }

    com::HRESULT GetIDsOfNames(com::REFIID, com::OLECHAR** names, std::uint32_t count, com::LCID,
                               com::DISPID* ids) override {
        return idsOfNames(kCollectionNames, names, count, ids);
    }
    com::HRESULT Invoke(com::DISPID id, com::REFIID riid, com::LCID, std::uint16_t flags,
                        com::DISPPARAMS* params, com::VARIANT* result, com::EXCEPINFO* exception,
                        std::uint32_t* argError) override;

private:
    com::HRESULT fail(com::HRESULT code, std::u16string_view description) {
        return com::reportError(code, Interface::iid, Library::kSource, description);
    }
    com::HRESULT invokeAdd(com::DISPPARAMS* params, com::VARIANT* result, com::EXCEPINFO* exception,
                           std::uint32_t* argError);

    KeyedList m_list;
};

template <class Interface, class Library>
com::HRESULT Collection<Interface, Library>::Invoke(com::DISPID id, com::REFIID riid, com::LCID,
                                                    std::uint16_t flags, com::DISPPARAMS* params,
                                                    com::VARIANT* result, com::EXCEPINFO* exception,
                                                    std::uint32_t* argError) {
    if (riid != com::GUID_NULL)
        return com::DISP_E_UNKNOWNINTERFACE;
    const bool isCall = flags & com::DISPATCH_METHOD;
    const bool isGet = flags & (com::DISPATCH_PROPERTYGET | com::DISPATCH_METHOD);
    const std::uint32_t args = argumentCount(params);
    if (params && params->cNamedArgs > 0)
        return com::DISP_E_NONAMEDARGS;

    com::HRESULT hr = com::S_OK;
    com::Variant out;
    switch (id) {
    case AddId:
        if (!isCall)
            return com::DISP_E_MEMBERNOTFOUND;
        if (args != 2)
            return com::DISP_E_BADPARAMCOUNT;
        hr = invokeAdd(params, out.get(), exception, argError);
        if (com::FAILED(hr))
            return hr;
        break;
    case ItemId: {
        if (!isGet)
            return com::DISP_E_MEMBERNOTFOUND;
        if (args != 1)
            return com::DISP_E_BADPARAMCOUNT;
        Member* found = nullptr;
        hr = get_Item(argument(params, 0), &found);
        out.get()->vt = com::VT_DISPATCH;
        out.get()->pdispVal = found;
        break;
    }
    case CountId:
        if (!isGet)
            return com::DISP_E_MEMBERNOTFOUND;
        if (args != 0)
            return com::DISP_E_BADPARAMCOUNT;
        out.get()->vt = com::VT_I4;
        hr = get_Count(&out.get()->lVal);
        break;
    case RemoveId:
        if (!isCall)
            return com::DISP_E_MEMBERNOTFOUND;
        if (args != 1)
            return com::DISP_E_BADPARAMCOUNT;
        hr = Remove(argument(params, 0));
        break;
    case NewEnumId:
        if (!isGet)
            return com::DISP_E_MEMBERNOTFOUND;
        if (args != 0)
            return com::DISP_E_BADPARAMCOUNT;
        out.get()->vt = com::VT_UNKNOWN;
        hr = get_NewEnum(&out.get()->punkVal);
        break;
    default:
        return com::DISP_E_MEMBERNOTFOUND;
    }
    if (com::FAILED(hr))
        return memberFailure(hr, exception);
    if (result) {
        com::VariantClear(result);
        *result = *out.get();
        com::VariantInit(out.get()); // handed over
    }
    return com::S_OK;
}

template <class Interface, class Library>
com::HRESULT
Collection<Interface, Library>::invokeAdd(com::DISPPARAMS* params, com::VARIANT* result,
                                          com::EXCEPINFO* exception, std::uint32_t* argError) {
    // Arguments as written: the member object, then zcnt.
    com::Variant object, number;
    if (com::FAILED(
            com::VariantChangeType(object.get(), argument(params, 0), 0, com::VT_UNKNOWN))) {
        if (argError)
            *argError = 1;
        return com::DISP_E_TYPEMISMATCH;
    }
    if (const com::HRESULT hr =
            com::VariantChangeType(number.get(), argument(params, 1), 0, com::VT_I2);
        com::FAILED(hr)) {
        if (argError)
            *argError = 0;
        return hr;
    }
    // Only an object with this library's member interface fits the parameter.
    com::ComPtr<Member> member;
    if (!object.get()->punkVal ||
        com::FAILED(object.get()->punkVal->QueryInterface(Member::iid, member.receiveVoid()))) {
        if (argError)
            *argError = 1;
        return com::DISP_E_TYPEMISMATCH;
    }
    Member* pointer = member.get();
    std::int16_t zcnt = number.get()->iVal;
    Member* added = nullptr;
    const com::HRESULT hr = Add(&pointer, &zcnt, &added);
    if (com::FAILED(hr))
        return memberFailure(hr, exception);
    result->vt = com::VT_DISPATCH;
    result->pdispVal = added;
    return com::S_OK;
}

} // namespace korva_model
