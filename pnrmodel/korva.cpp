// The KORVA library: the seven classes of the booking object model and the
// four exports of an in-process server.

#include "korva/korva.h"

#include "collection.h"
#include "library.h"
#include "record.h"

#include "com/server.h"

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

// A PNR's object properties start out as new, empty collections.
com::IDispatch* KorvaLibrary::createObject(const com::IID& iid) {
    if (iid == IID_PAXS)
        return static_cast<_PAXS*>(new Paxs);
    if (iid == IID_ITNS)
        return static_cast<_ITNS*>(new Itns);
    if (iid == IID_CRLS)
        return static_cast<_CRLS*>(new Crls);
    return nullptr;
}

com::ClassFactory<Pnr, KorvaLibrary::Module> pnrFactory;
com::ClassFactory<Pax, KorvaLibrary::Module> paxFactory;
com::ClassFactory<Paxs, KorvaLibrary::Module> paxsFactory;
com::ClassFactory<Itn, KorvaLibrary::Module> itnFactory;
com::ClassFactory<Itns, KorvaLibrary::Module> itnsFactory;
com::ClassFactory<Crl, KorvaLibrary::Module> crlFactory;
com::ClassFactory<Crls, KorvaLibrary::Module> crlsFactory;

const korva_model::ClassInfo kClasses[] = {
    {"PNR", &CLSID_PNR, &pnrFactory},    {"PAX", &CLSID_PAX, &paxFactory},
    {"PAXS", &CLSID_PAXS, &paxsFactory}, {"ITN", &CLSID_ITN, &itnFactory},
    {"ITNS", &CLSID_ITNS, &itnsFactory}, {"CRL", &CLSID_CRL, &crlFactory},
    {"CRLS", &CLSID_CRLS, &crlsFactory},
};

const korva_model::LibraryInfo kLibrary{kLibraryName, &LIBID_KORVA, kMajorVersion, kMinorVersion,
                                        kLocale};

} // namespace

KESTO_COM_EXPORT com::HRESULT DllGetClassObject(com::REFCLSID clsid, com::REFIID riid,
                                                void** object) {
    return korva_model::getClassObject(kClasses, clsid, riid, object);
}

KESTO_COM_EXPORT com::HRESULT DllCanUnloadNow() {
    return korva_model::canUnloadNow<KorvaLibrary::Module>();
}

KESTO_COM_EXPORT com::HRESULT DllRegisterServer() {
    return korva_model::registerLibrary(kLibrary, kClasses, &kLibrary);
}

KESTO_COM_EXPORT com::HRESULT DllUnregisterServer() {
    return korva_model::unregisterLibrary(kLibrary, kClasses);
}
