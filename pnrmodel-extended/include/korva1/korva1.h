#pragma once

// The KORVA1 type library (version 1.0, locale 1033): the extended booking
// object model. Same classes and collections as KORVA with more fields, and
// identifiers of its own, so objects of the two libraries never mix.

#include "korva/korva.h"

#define KORVA1_PNR_MEMBERS(OBJ, TEXT, INT)                                                         \
    TEXT(NVB)                                                                                      \
    TEXT(NVA)                                                                                      \
    TEXT(OPENTKT_TP)                                                                               \
    INT(TAX_AM1)                                                                                   \
    INT(TAX_AM2)                                                                                   \
    INT(TAX_AM3)                                                                                   \
    TEXT(TAX_ID1)                                                                                  \
    TEXT(TAX_ID2)                                                                                  \
    TEXT(TAX_ID3)                                                                                  \
    TEXT(FOP)                                                                                      \
    TEXT(TOUR_CD)                                                                                  \
    TEXT(FB_CD)                                                                                    \
    TEXT(PAX_TY)                                                                                   \
    TEXT(COMM_PC)                                                                                  \
    KORVA_PNR_MEMBERS(OBJ, TEXT, INT)

#define KORVA1_PAX_MEMBERS(OBJ, TEXT, INT)                                                         \
    TEXT(IU1M3C)                                                                                   \
    TEXT(IU2NM4)                                                                                   \
    TEXT(NAME_NO)                                                                                  \
    TEXT(PAX_TY)                                                                                   \
    KORVA_PAX_MEMBERS(OBJ, TEXT, INT)

// No STOP_OV here.
#define KORVA1_ITN_MEMBERS(OBJ, TEXT, INT)                                                         \
    TEXT(DEP_TERM)                                                                                 \
    TEXT(ARR_TERM)                                                                                 \
    TEXT(RLOC_CD)                                                                                  \
    TEXT(SEAT_STR)                                                                                 \
    TEXT(MEAL_STR)                                                                                 \
    TEXT(TKT_FG)                                                                                   \
    KORVA_ITN_COMMON_MEMBERS(OBJ, TEXT, INT)

#define KORVA1_CRL_MEMBERS(OBJ, TEXT, INT) KORVA_CRL_MEMBERS(OBJ, TEXT, INT)

namespace KORVA1 {

inline constexpr const char* kLibraryName = "KORVA1";
inline constexpr std::uint16_t kMajorVersion = 1;
inline constexpr std::uint16_t kMinorVersion = 0;
inline constexpr com::LCID kLocale = 1033;

// {03E62694-1338-4AF1-AB0E-93C53B86C69B}
inline constexpr com::GUID LIBID_KORVA1{
    0x03E62694, 0x1338, 0x4AF1, {0xAB, 0x0E, 0x93, 0xC5, 0x3B, 0x86, 0xC6, 0x9B}};

inline constexpr com::CLSID CLSID_PNR{
    0x78DA970B, 0x7ADB, 0x419C, {0xB0, 0x62, 0xCD, 0x1C, 0xD1, 0x39, 0x08, 0x9A}};
inline constexpr com::CLSID CLSID_PAX{
    0x346A91DB, 0xDB6B, 0x41D0, {0xA2, 0xB4, 0x85, 0x61, 0x02, 0xE0, 0x23, 0x0D}};
inline constexpr com::CLSID CLSID_PAXS{
    0x5034A87C, 0x4BEE, 0x4E0B, {0x9E, 0xC1, 0xBC, 0x1E, 0x5C, 0xC2, 0x27, 0x30}};
inline constexpr com::CLSID CLSID_ITN{
    0x1B70FCFB, 0x2898, 0x468B, {0x88, 0x3A, 0xF0, 0x0A, 0xE7, 0x52, 0x3D, 0xE2}};
inline constexpr com::CLSID CLSID_ITNS{
    0x55A41E88, 0x1587, 0x41E9, {0x9E, 0x07, 0xC2, 0xDD, 0xE7, 0xDC, 0xD5, 0xBE}};
inline constexpr com::CLSID CLSID_CRL{
    0x0A409E41, 0x1320, 0x40D0, {0x8A, 0x9D, 0x1D, 0x0F, 0x66, 0xAD, 0xCB, 0xF2}};
inline constexpr com::CLSID CLSID_CRLS{
    0xEE41D576, 0x0FAD, 0x4B6F, {0x92, 0xDC, 0xCE, 0x58, 0xF1, 0x36, 0xD2, 0x0D}};

inline constexpr com::IID IID_PNR{
    0x12F2E7C7, 0x1D58, 0x40DF, {0x85, 0x0C, 0x48, 0xCE, 0x22, 0xCC, 0x01, 0x38}};
inline constexpr com::IID IID_PAX{
    0x65D8E779, 0x3253, 0x44D0, {0x90, 0x05, 0x00, 0xE9, 0xC6, 0xAF, 0xFC, 0x2B}};
inline constexpr com::IID IID_PAXS{
    0x88DDDDF9, 0xA225, 0x4406, {0xBE, 0x55, 0xE6, 0x92, 0xCA, 0x10, 0x54, 0x8C}};
inline constexpr com::IID IID_ITN{
    0x268E1196, 0xD5C6, 0x4D09, {0xBB, 0x69, 0x67, 0xDE, 0x99, 0x14, 0x19, 0xAB}};
inline constexpr com::IID IID_ITNS{
    0x0BA5C4A9, 0x4991, 0x4369, {0xA1, 0x88, 0x2D, 0xD8, 0x75, 0xBC, 0x9B, 0xA3}};
inline constexpr com::IID IID_CRL{
    0xF63417A1, 0x0D43, 0x42C1, {0x90, 0x3B, 0x5E, 0x45, 0x42, 0x80, 0x47, 0x8E}};
inline constexpr com::IID IID_CRLS{
    0xCE5C31D5, 0xB33D, 0x40B2, {0x92, 0x49, 0xD4, 0xA7, 0xA4, 0xD3, 0x40, 0xE8}};

KORVA_DECLARE_RECORD_INTERFACE(_PAX, IID_PAX, KORVA1_PAX_MEMBERS)
KORVA_DECLARE_RECORD_INTERFACE(_ITN, IID_ITN, KORVA1_ITN_MEMBERS)
KORVA_DECLARE_RECORD_INTERFACE(_CRL, IID_CRL, KORVA1_CRL_MEMBERS)
KORVA_DECLARE_COLLECTION_INTERFACE(_PAXS, IID_PAXS, _PAX)
KORVA_DECLARE_COLLECTION_INTERFACE(_ITNS, IID_ITNS, _ITN)
KORVA_DECLARE_COLLECTION_INTERFACE(_CRLS, IID_CRLS, _CRL)
KORVA_DECLARE_RECORD_INTERFACE(_PNR, IID_PNR, KORVA1_PNR_MEMBERS)

} // namespace KORVA1
