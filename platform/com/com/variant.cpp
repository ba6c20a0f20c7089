#include "com/variant.h"

#include "com/bstr.h"
#include "com/interfaces.h"

#include <charconv>
#include <cstring>
#include <limits>
#include <string>

namespace com {

void VariantInit(VARIANT* v) {
    std::memset(static_cast<void*>(v), 0, sizeof *v);
    v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
    if (!v)
        return E_INVALIDARG;
    switch (v->vt) {
    case VT_BSTR:
        SysFreeString(v->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (v->punkVal)
            v->punkVal->Release();
        break;
    default:
        break; // integers and by-reference values own nothing
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (!dest || !src)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    VariantClear(dest);
    *dest = *src;
    if (src->vt == VT_BSTR && src->bstrVal) {
        dest->bstrVal = allocBstr(bstrView(src->bstrVal));
        if (!dest->bstrVal) {
            VariantInit(dest);
            return E_OUTOFMEMORY;
        }
    } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal) {
        src->punkVal->AddRef();
    }
    return S_OK;
}

namespace {

// The value a variant stands for, with by-reference values followed.
HRESULT dereference(const VARIANT* src, VARIANT& value) {
    VariantInit(&value);
    if (!(src->vt & VT_BYREF)) {
        value = *src;
        return S_OK;
    }
    const VARTYPE base = src->vt & ~VT_BYREF;
    if (!src->pvarVal)
        return E_POINTER;
    switch (base) {
    case VT_I2:
        value.iVal = *src->piVal;
        break;
    case VT_I4:
        value.lVal = *src->plVal;
        break;
    case VT_BSTR:
        value.bstrVal = *src->pbstrVal;
        break;
    case VT_UNKNOWN:
        value.punkVal = *src->ppunkVal;
        break;
    case VT_DISPATCH:
        value.pdispVal = *src->ppdispVal;
        break;
    case VT_VARIANT:
        if (src->pvarVal->vt & VT_BYREF)
            return DISP_E_BADVARTYPE; // nested references are not part of the subset
        value = *src->pvarVal;
        return S_OK;
    default:
        return DISP_E_BADVARTYPE;
    }
    value.vt = base;
    return S_OK;
}

HRESULT parseInteger(std::u16string_view text, std::int64_t& out) {
    while (!text.empty() && text.front() == u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ')
        text.remove_suffix(1);
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7F)
            return DISP_E_TYPEMISMATCH;
        ascii.push_back(static_cast<char>(c));
    }
    if (!ascii.empty() && ascii.front() == '+')
        ascii.erase(0, 1);
    const char* end = ascii.data() + ascii.size();
    const auto [ptr, ec] = std::from_chars(ascii.data(), end, out);
    if (ascii.empty() || ptr != end)
        return DISP_E_TYPEMISMATCH;
    if (ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    return ec == std::errc() ? S_OK : DISP_E_TYPEMISMATCH;
}

HRESULT toInteger(const VARIANT& value, std::int64_t& out) {
    switch (value.vt) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I2:
        out = value.iVal;
        return S_OK;
    case VT_I4:
        out = value.lVal;
        return S_OK;
    case VT_BSTR:
        return parseInteger(bstrView(value.bstrVal), out);
    case VT_NULL:
    case VT_UNKNOWN:
    case VT_DISPATCH:
        return DISP_E_TYPEMISMATCH;
    default:
        return DISP_E_BADVARTYPE;
    }
}

} // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t, VARTYPE vt) {
    if (!dest || !src)
        return E_INVALIDARG;
    VARIANT value;
    if (const HRESULT hr = dereference(src, value); FAILED(hr))
        return hr;

    VARIANT result;
    VariantInit(&result);
    switch (vt) {
    case VT_I2:
    case VT_I4: {
        std::int64_t n = 0;
        if (const HRESULT hr = toInteger(value, n); FAILED(hr))
            return hr;
        if (vt == VT_I2) {
            if (n < std::numeric_limits<std::int16_t>::min() ||
                n > std::numeric_limits<std::int16_t>::max())
                return DISP_E_OVERFLOW;
            result.iVal = static_cast<std::int16_t>(n);
        } else {
            if (n < std::numeric_limits<std::int32_t>::min() ||
                n > std::numeric_limits<std::int32_t>::max())
                return DISP_E_OVERFLOW;
            result.lVal = static_cast<std::int32_t>(n);
        }
        break;
    }
    case VT_BSTR: {
        if (value.vt == VT_BSTR) {
            result.bstrVal = value.bstrVal ? allocBstr(bstrView(value.bstrVal)) : nullptr;
            if (value.bstrVal && !result.bstrVal)
                return E_OUTOFMEMORY;
            break;
        }
        if (value.vt == VT_EMPTY)
            break; // the empty text
        std::int64_t n = 0;
        if (const HRESULT hr = toInteger(value, n); FAILED(hr))
            return hr;
        const std::string text = std::to_string(n);
        result.bstrVal = allocBstr(std::u16string(text.begin(), text.end()));
        if (!result.bstrVal)
            return E_OUTOFMEMORY;
        break;
    }
    case VT_UNKNOWN:
    case VT_DISPATCH: {
        if (value.vt != VT_UNKNOWN && value.vt != VT_DISPATCH)
            return DISP_E_TYPEMISMATCH;
        if (!value.punkVal) {
            result.punkVal = nullptr;
            break;
        }
        if (vt == VT_UNKNOWN) {
            void* p = nullptr;
            if (FAILED(value.punkVal->QueryInterface(IUnknown::iid, &p)))
                return DISP_E_TYPEMISMATCH;
            result.punkVal = static_cast<IUnknown*>(p);
        } else {
            void* p = nullptr;
            if (FAILED(value.punkVal->QueryInterface(IDispatch::iid, &p)))
                return DISP_E_TYPEMISMATCH;
            result.pdispVal = static_cast<IDispatch*>(p);
        }
        break;
    }
    default:
        return DISP_E_BADVARTYPE;
    }
    result.vt = vt;
    VariantClear(dest); // also right when dest == src: result owns its own copy
    *dest = result;
    return S_OK;
}

Variant::Variant(std::int16_t value) : Variant() {
    m_value.vt = VT_I2;
    m_value.iVal = value;
}

Variant::Variant(std::int32_t value) : Variant() {
    m_value.vt = VT_I4;
    m_value.lVal = value;
}

Variant::Variant(std::u16string_view text) : Variant() {
    m_value.vt = VT_BSTR;
    m_value.bstrVal = allocBstr(text);
}

Variant::Variant(IDispatch* object) : Variant() {
    m_value.vt = VT_DISPATCH;
    m_value.pdispVal = object;
    if (object)
        object->AddRef();
}

Variant::Variant(const Variant& other) : Variant() {
    VariantCopy(&m_value, &other.m_value);
}

Variant::Variant(Variant&& other) noexcept : m_value(other.m_value) {
    VariantInit(&other.m_value);
}

} // namespace com
