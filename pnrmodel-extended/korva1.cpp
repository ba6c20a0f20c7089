// The KORVA1 library: the extended booking object model and the
// four exports of an in-process server.

#include "korva1/korva1.h"

#include "collection.h"
#include "library.h"
#include "record.h"

#include "com/server.h"

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

// A PNR's object properties start out as new, empty collections.
com::IDispatch* Korva1Library::createObject(const com::IID& iid) {
    if (iid == IID_PAXS)
        return static_cast<_PAXS*>(new Paxs);
    if (iid == IID_ITNS)
        return static_cast<_ITNS*>(new Itns);
    if (iid == IID_CRLS)
        return static_cast<_CRLS*>(new Crls);
    return nullptr;
}

com::ClassFactory<Pnr, Korva1Library::Module> pnrFactory;
com::ClassFactory<Pax, Korva1Library::Module> paxFactory;
com::ClassFactory<Paxs, Korva1Library::Module> paxsFactory;
com::ClassFactory<Itn, Korva1Library::Module> itnFactory;
com::ClassFactory<Itns, Korva1Library::Module> itnsFactory;
com::ClassFactory<Crl, Korva1Library::Module> crlFactory;
com::ClassFactory<Crls, Korva1Library::Module> crlsFactory;

const korva_model::ClassInfo kClasses[] = {
    {"PNR", &CLSID_PNR, &pnrFactory},    {"PAX", &CLSID_PAX, &paxFactory},
    {"PAXS", &CLSID_PAXS, &paxsFactory}, {"ITN", &CLSID_ITN, &itnFactory},
    {"ITNS", &CLSID_ITNS, &itnsFactory}, {"CRL", &CLSID_CRL, &crlFactory},
    {"CRLS", &CLSID_CRLS, &crlsFactory},
};

const korva_model::LibraryInfo kLibrary{kLibraryName, &LIBID_KORVA1, kMajorVersion, kMinorVersion,
                                        kLocale};

} // namespace

KESTO_COM_EXPORT com::HRESULT DllGetClassObject(com::REFCLSID clsid, com::REFIID riid,
                                                void** object) {
    return korva_model::getClassObject(kClasses, clsid, riid, object);
}

KESTO_COM_EXPORT com::HRESULT DllCanUnloadNow() {
    return korva_model::canUnloadNow<Korva1Library::Module>();
}

KESTO_COM_EXPORT com::HRESULT DllRegisterServer() {
    return korva_model::registerLibrary(kLibrary, kClasses, &kLibrary);
}

KESTO_COM_EXPORT com::HRESULT DllUnregisterServer() {
    return korva_model::unregisterLibrary(kLibrary, kClasses);
}
