#pragma once

// Per-thread error information: a member that fails records a description with
// its HRESULT; the caller takes it after seeing the failure. One slot serves
// the whole process: libraries loaded later find the program's slot, so a
// description set inside a library reaches the program that called it.

#include "com/types.h"

#include <optional>
#include <string>
#include <string_view>

namespace com {

struct ErrorInfo {
    HRESULT code = S_OK;
    GUID interfaceId = GUID_NULL;
    std::u16string source;
    std::u16string description;
};

// Replaces the calling thread's error information.
void setErrorInfo(const ErrorInfo& info);
// Hands out the calling thread's error information and clears it.
std::optional<ErrorInfo> takeErrorInfo();
void clearErrorInfo();
bool hasErrorInfo();

// Records the error for the calling thread and returns its code, so that a
// member can end with `return reportError(...)`.
HRESULT reportError(HRESULT code, REFIID interfaceId, std::u16string_view source,
                    std::u16string_view description);

// A fixed English text for the runtime's own codes, or "error 0x........".
std::string describeResult(HRESULT code);

} // namespace com
