#pragma once

// The VARIANT subset: empty, 16/32-bit integers, BSTR and interface pointers,
// each also by reference. Layout as COM's (24 bytes on a 64-bit system).

#include "com/types.h"

#include <utility>

namespace com {

struct IUnknown;
struct IDispatch;

enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_BYREF = 0x4000,
};

struct VARIANT;

struct VariantRecord {
    void* pvRecord;
    void* pRecInfo;
};

struct VARIANT {
    VARTYPE vt;
    std::uint16_t wReserved1;
    std::uint16_t wReserved2;
    std::uint16_t wReserved3;
    union {
        std::int16_t iVal;
        std::int32_t lVal;
        HRESULT scode;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        std::int16_t* piVal;
        std::int32_t* plVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        VariantRecord brecVal; // sizes the union as COM's does
    };
};
static_assert(sizeof(VARIANT) == 8 + 2 * sizeof(void*));

using VARIANTARG = VARIANT;

void VariantInit(VARIANT* v);
// Frees what the variant owns (BSTR, interface reference) and leaves it empty.
HRESULT VariantClear(VARIANT* v);
// dest := a copy of src (strings duplicated, interfaces AddRef'ed); dest is cleared first.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts src (by-reference values followed) to type vt into dest. Supported
// targets: VT_I2, VT_I4, VT_BSTR, VT_UNKNOWN, VT_DISPATCH. Failures:
// DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW, DISP_E_BADVARTYPE.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, std::uint16_t flags, VARTYPE vt);

// Owns one VARIANT.
class Variant {
public:
    Variant() { VariantInit(&m_value); }
    explicit Variant(std::int16_t value);
    explicit Variant(std::int32_t value);
    explicit Variant(std::u16string_view text);
    explicit Variant(IDispatch* object); // adds a reference
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant other) noexcept {
        std::swap(m_value, other.m_value);
        return *this;
    }
    ~Variant() { VariantClear(&m_value); }

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    VARIANT* receive() {
        VariantClear(&m_value);
        return &m_value;
    }
    VARTYPE type() const { return m_value.vt; }

private:
    VARIANT m_value;
};

} // namespace com
