// The share enumeration that GetUNC calls, replaceable by tests.
#pragma once

#include "KstExport.h"
#include "KstWin32System.h"

namespace kst::files {

// Puts a test's own "NetShareEnum" of "netapi32.dll" in place (null restores the library's),
// to feed records that this computer's shares cannot give, such as an invalid security
// descriptor. Answers the previous replacement.
KST_INTERNAL PFN_NetShareEnum SetNetShareEnumForTest(PFN_NetShareEnum replacement);
PFN_NetShareEnum NetShareEnumForTest();

}  // namespace kst::files
