#include "korvalibrary.h"

#include "com/bstr.h"
#include "com/errorinfo.h"
#include "installlayout.h"

namespace korva {

std::string korvaLibraryPath() {
    if (const auto prefix = kesto::install::installedPrefix())
        return (kesto::install::privateLibraryFolder(*prefix) / "libkorva.so").string();
    return KESTO_KORVA_LIBRARY_PATH;
}

Error activationError(com::HRESULT hr) {
    const auto info = com::takeErrorInfo();
    const std::string detail = info ? com::utf16ToUtf8(info->description) : com::describeResult(hr);
    const std::string library = korvaLibraryPath();
    if (hr == com::REGDB_E_CLASSNOTREG)
        return Error(hr, "the KORVA library is not registered: run kesto-regsvr " + library);
    if (hr == com::CO_E_DLLNOTFOUND || hr == com::CO_E_ERRORINDLL)
        return Error(hr, "the registered KORVA library cannot be used (" + detail +
                             "): register it again with kesto-regsvr " + library);
    return Error(hr, "cannot create a KORVA object: " + detail);
}

} // namespace korva
