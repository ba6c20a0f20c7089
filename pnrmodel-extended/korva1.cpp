// The KORVA1 library: the extended booking object model and the
// four exports of an in-process server.

#include "korva1/korva1.h"

#include "collection.h"
#include "libraryserver.h"
#include "record.h"

namespace {

using namespace KORVA1;

struct Korva1Library {
    using Module = com::ModuleCount<Korva1Library>;
    static constexpr std::u16string_view kSource = u"KORVA1";
    static com::IDispatch* createObject(const com::IID& iid);
};

KORVA_MODEL_RECORD_CLASS(Pnr, _PNR, KORVA1_PNR_MEMBERS, Korva1Library)
KORVA_MODEL_RECORD_CLASS(Pax, _PAX, KORVA1_PAX_MEMBERS, Korva1Library)
KORVA_MODEL_RECORD_CLASS(Itn, _ITN, KORVA1_ITN_MEMBERS, Korva1Library)
KORVA_MODEL_RECORD_CLASS(Crl, _CRL, KORVA1_CRL_MEMBERS, Korva1Library)
using Paxs = korva_model::Collection<_PAXS, Korva1Library>;
using Itns = korva_model::Collection<_ITNS, Korva1Library>;
using Crls = korva_model::Collection<_CRLS, Korva1Library>;

// The binary shape clients compile against: IUnknown's 3 slots, IDispatch's 4,
// then two accessors per property or the collection's five members.
static_assert(KORVA_ACCESSOR_COUNT(KORVA1_PNR_MEMBERS) == 54);
static_assert(KORVA_ACCESSOR_COUNT(KORVA1_PAX_MEMBERS) == 40);
static_assert(KORVA_ACCESSOR_COUNT(KORVA1_ITN_MEMBERS) == 34);
static_assert(KORVA_ACCESSOR_COUNT(KORVA1_CRL_MEMBERS) == 4);

} // namespace

KORVA_MODEL_LIBRARY_SERVER(Korva1Library, LIBID_KORVA1)
