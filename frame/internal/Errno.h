// Maps the C library's errno values onto the system error codes callers expect.
#pragma once

#include "KstExport.h"
#include "KstWinTypes.h"

namespace kst::detail {

KST_INTERNAL DWORD SystemErrorFromErrno(int err);
KST_INTERNAL void SetLastErrorFromErrno(int err);

}  // namespace kst::detail
