#include "com/errorinfo.h"

#include "com/bstr.h"

#include <dlfcn.h>

#include <cstdio>

// The slot as every module sees it: plain data, so that modules built apart
// can share it.
struct KestoComErrorSlot {
    bool set;
    com::HRESULT code;
    com::GUID interfaceId;
    com::BSTR source;
    com::BSTR description;
};

namespace {

void clearSlot(KestoComErrorSlot& slot) {
    com::SysFreeString(slot.source);
    com::SysFreeString(slot.description);
    slot = KestoComErrorSlot{};
}

struct OwnedSlot {
    KestoComErrorSlot slot{};
    ~OwnedSlot() { clearSlot(slot); }
};

} // namespace

// Exported from programs (see CMakeLists.txt) so that libraries resolve the
// program's slot rather than their own copy.
extern "C" __attribute__((visibility("default"))) KestoComErrorSlot* kesto_com_thread_error() {
    thread_local OwnedSlot owned;
    return &owned.slot;
}

namespace com {

namespace {

using SlotFunction = KestoComErrorSlot* (*)();

KestoComErrorSlot& threadSlot() {
    static const SlotFunction function = [] {
        void* found = dlsym(RTLD_DEFAULT, "kesto_com_thread_error");
        return found ? reinterpret_cast<SlotFunction>(found) : &kesto_com_thread_error;
    }();
    return *function();
}

} // namespace

void setErrorInfo(const ErrorInfo& info) {
    KestoComErrorSlot& slot = threadSlot();
    clearSlot(slot);
    slot.set = true;
    slot.code = info.code;
    slot.interfaceId = info.interfaceId;
    slot.source = allocBstr(info.source);
    slot.description = allocBstr(info.description);
}

std::optional<ErrorInfo> takeErrorInfo() {
    KestoComErrorSlot& slot = threadSlot();
    if (!slot.set)
        return std::nullopt;
    ErrorInfo info{slot.code, slot.interfaceId, std::u16string(bstrView(slot.source)),
                   std::u16string(bstrView(slot.description))};
    clearSlot(slot);
    return info;
}

void clearErrorInfo() {
    clearSlot(threadSlot());
}

bool hasErrorInfo() {
    return threadSlot().set;
}

HRESULT reportError(HRESULT code, REFIID interfaceId, std::u16string_view source,
                    std::u16string_view description) {
    setErrorInfo(ErrorInfo{code, interfaceId, std::u16string(source), std::u16string(description)});
    return code;
}

std::string describeResult(HRESULT code) {
    switch (code) {
    case E_NOTIMPL:
        return "not implemented";
    case E_NOINTERFACE:
        return "no such interface supported";
    case E_POINTER:
        return "invalid pointer";
    case E_FAIL:
        return "unspecified error";
    case E_OUTOFMEMORY:
        return "out of memory";
    case E_INVALIDARG:
        return "one or more arguments are invalid";
    case CLASS_E_NOAGGREGATION:
        return "class does not support aggregation";
    case CLASS_E_CLASSNOTAVAILABLE:
        return "class not available from this library";
    case REGDB_E_CLASSNOTREG:
        return "class not registered";
    case DISP_E_MEMBERNOTFOUND:
        return "member not found";
    case DISP_E_TYPEMISMATCH:
        return "type mismatch";
    case DISP_E_UNKNOWNNAME:
        return "unknown name";
    case DISP_E_BADPARAMCOUNT:
        return "invalid number of parameters";
    case DISP_E_OVERFLOW:
        return "out of present range";
    default:
        break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "error 0x%08X", static_cast<unsigned>(code));
    return text;
}

} // namespace com
