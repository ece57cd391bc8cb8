// The last error: one value per thread, as every Win32 call leaves it.
#include "ce/kernel.h"

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
}  // namespace

extern "C" DWORD GetLastError() {
    return tLastError;
}

extern "C" void SetLastError(DWORD dwErrCode) {
    tLastError = dwErrCode;
}
