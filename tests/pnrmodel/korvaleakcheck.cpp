// Builds and releases booking trees through the KORVA interfaces, for a leak
// checker to watch: every object, string and error text must be freed again.
// Usage: korvaleakcheck [TREES]; the class registry comes from the environment.

#include "com/activation.h"
#include "com/bstr.h"
#include "com/comptr.h"
#include "com/errorinfo.h"
#include "korva/korva.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

template <class Interface> com::ComPtr<Interface> create(const com::CLSID& clsid) {
    com::ComPtr<Interface> object;
    if (com::FAILED(com::CoCreateInstance(clsid, nullptr, Interface::iid, object.receiveVoid()))) {
        const auto info = com::takeErrorInfo();
        std::fprintf(stderr, "korvaleakcheck: %s\n",
                     info ? com::utf16ToUtf8(info->description).c_str() : "activation failed");
        std::exit(2);
    }
    return object;
}

com::Bstr text(const std::string& s) {
    return com::Bstr(com::utf8ToUtf16(s));
}

bool buildTree(int n) {
    auto pnr = create<KORVA::_PNR>(KORVA::CLSID_PNR);
    pnr->put_RLOC_CD(text("ABC" + std::to_string(n)).get());
    com::ComPtr<KORVA::_PAXS> paxs;
    com::ComPtr<KORVA::_CRLS> crls;
    pnr->get_PAXS(paxs.receive());
    pnr->get_CRLS(crls.receive());
    for (std::int16_t zcnt = 1; zcnt <= 3; ++zcnt) {
        auto pax = create<KORVA::_PAX>(KORVA::CLSID_PAX);
        pax->put_PAX_NM(text("PASSENGER/" + std::to_string(zcnt)).get());
        pax->put_TKT_TAX(text("120").get());
        KORVA::_PAX* member = pax.get();
        KORVA::_PAX* added = nullptr;
        std::int16_t key = zcnt;
        if (com::FAILED(paxs->Add(&member, &key, &added)))
            return false;
        added->Release();
        auto crl = create<KORVA::_CRL>(KORVA::CLSID_CRL);
        crl->put_RLOC_CD(text("XY" + std::to_string(zcnt)).get());
        KORVA::_CRL* c = crl.get();
        KORVA::_CRL* cAdded = nullptr;
        crls->Add(&c, &key, &cAdded);
        cAdded->Release();
    }
    // The failure paths allocate error texts too.
    auto extra = create<KORVA::_PAX>(KORVA::CLSID_PAX);
    KORVA::_PAX* member = extra.get();
    KORVA::_PAX* added = nullptr;
    std::int16_t used = 1;
    if (paxs->Add(&member, &used, &added) != com::makeFailure(0xA, 457))
        return false;
    com::clearErrorInfo();
    com::Variant key(std::int32_t(2));
    KORVA::_PAX* found = nullptr;
    if (com::FAILED(paxs->get_Item(key.get(), &found)))
        return false;
    com::Bstr name;
    found->get_PAX_NM(name.receive());
    found->Release();
    com::ComPtr<com::IUnknown> enumerator;
    paxs->get_NewEnum(enumerator.receive());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    const int trees = argc > 1 ? std::atoi(argv[1]) : 1000;
    for (int i = 0; i < trees; ++i) {
        if (!buildTree(i)) {
            std::fprintf(stderr, "korvaleakcheck: tree %d went wrong\n", i);
            return 1;
        }
    }
    std::printf("korvaleakcheck: %d trees built and released\n", trees);
    return 0;
}
