#pragma once

// The KORVA type library (version 6.0, locale 1033): identifiers and the
// seven dual interfaces in their binary order. Clients compile this in; the
// library implements it.

#include "korva/declare.h"

// Member lists (see declare.h). KORVA1 builds its lists from these.
#define KORVA_PNR_MEMBERS(OBJ, TEXT, INT)                                                          \
    OBJ(PAXS, _PAXS)                                                                               \
    OBJ(ITNS, _ITNS)                                                                               \
    OBJ(CRLS, _CRLS)                                                                               \
    TEXT(RLOC_CD)                                                                                  \
    TEXT(SEQ_NO)                                                                                   \
    TEXT(CRAT_DM)                                                                                  \
    TEXT(NUM_CDE)                                                                                  \
    TEXT(CARR_CD)                                                                                  \
    TEXT(TRVL_DT)                                                                                  \
    TEXT(COMM_RT)                                                                                  \
    TEXT(BASE_AM)                                                                                  \
    TEXT(TKT_NETB)                                                                                 \
    TEXT(TAX_AMB)

#define KORVA_PAX_MEMBERS(OBJ, TEXT, INT)                                                          \
    TEXT(PAX_NM)                                                                                   \
    TEXT(TKT_NO)                                                                                   \
    TEXT(TKT_CJ)                                                                                   \
    TEXT(TKT_AMS)                                                                                  \
    TEXT(TKT_NET)                                                                                  \
    TEXT(TKT_TAX)                                                                                  \
    TEXT(TKT_NO1)                                                                                  \
    TEXT(TKT_CJ1)                                                                                  \
    TEXT(TKT_NO2)                                                                                  \
    TEXT(TKT_CJ2)                                                                                  \
    TEXT(TKT_NO3)                                                                                  \
    TEXT(TKT_CJ3)                                                                                  \
    TEXT(TKT_NO4)                                                                                  \
    TEXT(TKT_CJ4)                                                                                  \
    TEXT(TKT_NO5)                                                                                  \
    TEXT(TKT_CJ5)

// The segment fields both libraries share, in order; KORVA adds STOP_OV.
#define KORVA_ITN_COMMON_MEMBERS(OBJ, TEXT, INT)                                                   \
    TEXT(ITN_IDX)                                                                                  \
    TEXT(CARR_CD)                                                                                  \
    TEXT(FLT_NO)                                                                                   \
    TEXT(TKT_CLS)                                                                                  \
    TEXT(TKT_ST)                                                                                   \
    TEXT(DEP_DT)                                                                                   \
    TEXT(DEP_TM)                                                                                   \
    TEXT(ARR_TM)                                                                                   \
    TEXT(NXDT_FG)                                                                                  \
    TEXT(ORIG_CT)                                                                                  \
    TEXT(DEST_CT)

#define KORVA_ITN_MEMBERS(OBJ, TEXT, INT) KORVA_ITN_COMMON_MEMBERS(OBJ, TEXT, INT) TEXT(STOP_OV)

#define KORVA_CRL_MEMBERS(OBJ, TEXT, INT)                                                          \
    TEXT(CARR_CD)                                                                                  \
    TEXT(RLOC_CD)

namespace KORVA {

inline constexpr const char* kLibraryName = "KORVA";
inline constexpr std::uint16_t kMajorVersion = 6;
inline constexpr std::uint16_t kMinorVersion = 0;
inline constexpr com::LCID kLocale = 1033;

// {F2336C5B-3783-40FD-9540-E1D1B6695782}
inline constexpr com::GUID LIBID_KORVA{
    0xF2336C5B, 0x3783, 0x40FD, {0x95, 0x40, 0xE1, 0xD1, 0xB6, 0x69, 0x57, 0x82}};

inline constexpr com::CLSID CLSID_PNR{
    0x7EE66179, 0xBE52, 0x4206, {0xB9, 0xD9, 0xC9, 0x84, 0x55, 0x3C, 0x1A, 0x6A}};
inline constexpr com::CLSID CLSID_PAX{
    0x507224FB, 0xC711, 0x45F0, {0x95, 0xAB, 0x58, 0x2F, 0xEA, 0xED, 0x88, 0x72}};
inline constexpr com::CLSID CLSID_PAXS{
    0xFA69306C, 0x9B90, 0x4C76, {0x9D, 0xEF, 0x8F, 0x77, 0x0B, 0x8F, 0x14, 0xBC}};
inline constexpr com::CLSID CLSID_ITN{
    0x98EDD7CE, 0x96EA, 0x4B22, {0xBC, 0xF0, 0x28, 0xD8, 0x98, 0xBA, 0xD2, 0xBD}};
inline constexpr com::CLSID CLSID_ITNS{
    0xDE98EB5E, 0xD2B5, 0x4504, {0xB1, 0xC9, 0x3A, 0xD7, 0xCE, 0x63, 0x49, 0xD5}};
inline constexpr com::CLSID CLSID_CRL{
    0x197C147F, 0xF895, 0x46A6, {0x90, 0x26, 0xE2, 0x52, 0x75, 0x5F, 0xFE, 0xC4}};
inline constexpr com::CLSID CLSID_CRLS{
    0x52384E23, 0x9C96, 0x4E23, {0x8F, 0xBF, 0x5C, 0x5F, 0x4B, 0xBA, 0x6D, 0x08}};

inline constexpr com::IID IID_PNR{
    0x3F91A793, 0xE80C, 0x4D13, {0xAE, 0x40, 0x7A, 0xE2, 0xCB, 0x3C, 0xA1, 0xF8}};
inline constexpr com::IID IID_PAX{
    0xF871A115, 0xA679, 0x41B2, {0xA5, 0x61, 0x6D, 0x30, 0x0E, 0xFC, 0x56, 0xC9}};
inline constexpr com::IID IID_PAXS{
    0x9B165761, 0x09E4, 0x43DE, {0xB1, 0xDB, 0x6E, 0x56, 0x41, 0x78, 0x5A, 0x2F}};
inline constexpr com::IID IID_ITN{
    0xE76C1218, 0xD452, 0x42BC, {0xA7, 0x77, 0xA5, 0x13, 0xBC, 0x1C, 0x30, 0xCA}};
inline constexpr com::IID IID_ITNS{
    0x19CE01D8, 0x4871, 0x45EC, {0xB3, 0x1C, 0x7D, 0x23, 0x07, 0x7D, 0xD6, 0x76}};
inline constexpr com::IID IID_CRL{
    0x43AC56C6, 0x2FA1, 0x495A, {0x9D, 0x8D, 0x18, 0x25, 0x35, 0x9D, 0x44, 0xEE}};
inline constexpr com::IID IID_CRLS{
    0xD62D56C8, 0xC5F4, 0x465A, {0xB6, 0x29, 0x79, 0x5B, 0xE6, 0x25, 0x47, 0x07}};

KORVA_DECLARE_RECORD_INTERFACE(_PAX, IID_PAX, KORVA_PAX_MEMBERS)
KORVA_DECLARE_RECORD_INTERFACE(_ITN, IID_ITN, KORVA_ITN_MEMBERS)
KORVA_DECLARE_RECORD_INTERFACE(_CRL, IID_CRL, KORVA_CRL_MEMBERS)
KORVA_DECLARE_COLLECTION_INTERFACE(_PAXS, IID_PAXS, _PAX)
KORVA_DECLARE_COLLECTION_INTERFACE(_ITNS, IID_ITNS, _ITN)
KORVA_DECLARE_COLLECTION_INTERFACE(_CRLS, IID_CRLS, _CRL)
KORVA_DECLARE_RECORD_INTERFACE(_PNR, IID_PNR, KORVA_PNR_MEMBERS)

} // namespace KORVA
