// Maps the C library's errno values onto the system error codes callers expect.
#pragma once

#include "KstExport.h"
#include "KstWinTypes.h"

namespace kst::detail {

KST_INTERNAL DWORD SystemErrorFromErrno(int err);
KST_INTERNAL void SetLastErrorFromErrno(int err);
// The other way, as the C runtime maps a system error onto errno for its own calls (every kind
// of denied access is EACCES, both kinds of an existing name EEXIST, anything unknown EINVAL).
KST_INTERNAL int RuntimeErrnoFromSystemError(DWORD code);

}  // namespace kst::detail
