// The KORVA library: the seven classes of the booking object model and the
// four exports of an in-process server.

#include "korva/korva.h"

#include "collection.h"
#include "libraryserver.h"
#include "record.h"

namespace {

using namespace KORVA;

struct KorvaLibrary {
    using Module = com::ModuleCount<KorvaLibrary>;
    static constexpr std::u16string_view kSource = u"KORVA";
    static com::IDispatch* createObject(const com::IID& iid);
};

KORVA_MODEL_RECORD_CLASS(Pnr, _PNR, KORVA_PNR_MEMBERS, KorvaLibrary)
KORVA_MODEL_RECORD_CLASS(Pax, _PAX, KORVA_PAX_MEMBERS, KorvaLibrary)
KORVA_MODEL_RECORD_CLASS(Itn, _ITN, KORVA_ITN_MEMBERS, KorvaLibrary)
KORVA_MODEL_RECORD_CLASS(Crl, _CRL, KORVA_CRL_MEMBERS, KorvaLibrary)
using Paxs = korva_model::Collection<_PAXS, KorvaLibrary>;
using Itns = korva_model::Collection<_ITNS, KorvaLibrary>;
using Crls = korva_model::Collection<_CRLS, KorvaLibrary>;

// The binary shape clients compile against: IUnknown's 3 slots, IDispatch's 4,
// then two accessors per property or the collection's five members.
static_assert(KORVA_ACCESSOR_COUNT(KORVA_PNR_MEMBERS) == 26);
static_assert(KORVA_ACCESSOR_COUNT(KORVA_PAX_MEMBERS) == 32);
static_assert(KORVA_ACCESSOR_COUNT(KORVA_ITN_MEMBERS) == 24);
static_assert(KORVA_ACCESSOR_COUNT(KORVA_CRL_MEMBERS) == 4);

} // namespace

KORVA_MODEL_LIBRARY_SERVER(KorvaLibrary, LIBID_KORVA)
