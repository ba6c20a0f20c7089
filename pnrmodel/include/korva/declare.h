#pragma once

// Declaring the interfaces of a booking object library from member lists.
//
// A member list is a macro taking three macros, OBJ, TEXT and INT, and
// expanding to one entry per property in interface order:
//   OBJ(Name, Interface)  object property: get_Name then putref_Name
//   TEXT(Name)            text property (BSTR): put_Name then get_Name
//   INT(Name)             32-bit integer property: put_Name then get_Name
// The vtable follows declaration order, so the list order is the slot order
// after IUnknown's three and IDispatch's four slots.

#include "com/bstr.h"
#include "com/interfaces.h"

#define KORVA_DECLARE_OBJ(Name, Interface)                                                         \
    virtual com::HRESULT get_##Name(Interface** value) = 0;                                        \
    virtual com::HRESULT putref_##Name(Interface* value) = 0;
#define KORVA_DECLARE_TEXT(Name)                                                                   \
    virtual com::HRESULT put_##Name(com::BSTR value) = 0;                                          \
    virtual com::HRESULT get_##Name(com::BSTR* value) = 0;
#define KORVA_DECLARE_INT(Name)                                                                    \
    virtual com::HRESULT put_##Name(std::int32_t value) = 0;                                       \
    virtual com::HRESULT get_##Name(std::int32_t* value) = 0;

// A dual interface with the properties of MEMBERS.
#define KORVA_DECLARE_RECORD_INTERFACE(Name, Iid, MEMBERS)                                         \
    struct Name : com::IDispatch {                                                                 \
        static constexpr com::IID iid = Iid;                                                       \
        MEMBERS(KORVA_DECLARE_OBJ, KORVA_DECLARE_TEXT, KORVA_DECLARE_INT)                          \
    protected:                                                                                     \
        ~Name() = default;                                                                         \
    };

// A keyed collection of Member objects: Add, Item, Count, Remove, NewEnum.
#define KORVA_DECLARE_COLLECTION_INTERFACE(Name, Iid, Member)                                      \
    struct Name : com::IDispatch {                                                                 \
        static constexpr com::IID iid = Iid;                                                       \
        using MemberInterface = Member;                                                            \
        virtual com::HRESULT Add(Member** member, std::int16_t* zcnt, Member** result) = 0;        \
        virtual com::HRESULT get_Item(com::VARIANT* vntIndexKey, Member** result) = 0;             \
        virtual com::HRESULT get_Count(std::int32_t* result) = 0;                                  \
        virtual com::HRESULT Remove(com::VARIANT* vntIndexKey) = 0;                                \
        virtual com::HRESULT get_NewEnum(com::IUnknown** result) = 0;                              \
                                                                                                   \
    protected:                                                                                     \
        ~Name() = default;                                                                         \
    };

// Counts the accessors of a member list, for checks of the vtable size.
#define KORVA_COUNT_OBJ(Name, Interface) +2
#define KORVA_COUNT_TEXT(Name) +2
#define KORVA_COUNT_INT(Name) +2
#define KORVA_ACCESSOR_COUNT(MEMBERS)                                                              \
    (0 MEMBERS(KORVA_COUNT_OBJ, KORVA_COUNT_TEXT, KORVA_COUNT_INT))
