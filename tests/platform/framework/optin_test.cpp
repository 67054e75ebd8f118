// A host that does not opt into the compatibility layer sees none of its macros.
#include "KstSystem.h"

#if defined(ASSERT) || defined(VERIFY) || defined(TRACE) || defined(TRACE0) ||              \
    defined(ASSERT_VALID) || defined(DEBUG_NEW) || defined(TRY) || defined(CATCH) ||        \
    defined(END_CATCH) || defined(THROW_LAST) || defined(_T) || defined(TEXT) ||            \
    defined(_tmain) || defined(MessageBox) || defined(CreateFile) || defined(LoadString) || \
    defined(FindNextFile) || defined(GetModuleHandle) || defined(ZeroMemory) ||             \
    defined(STATIC_DOWNCAST) || defined(DYNAMIC_DOWNCAST) || defined(KST_COMPAT)
#error "a compatibility macro leaked into the library's own headers"
#endif

#include <gtest/gtest.h>

TEST(OptInTest, LibraryHeadersDefineNoCompatibilityMacro) {
    SUCCEED();
}
