// KstSystem: the umbrella header a host includes to use the whole library.
#pragma once

#define KST_SYSTEM_VERSION "1.0.0"

#include "KstExport.h"
#include "KstWinTypes.h"
#include "KstPlatform.h"
#include "KstWin32.h"
#include "KstString.h"

#if __has_include("KstObject.h")
#include "KstObject.h"
#endif
#if __has_include("KstCollections.h")
#include "KstCollections.h"
#endif
#if __has_include("KstFile.h")
#include "KstFile.h"
#endif
#if __has_include("KstArchive.h")
#include "KstArchive.h"
#endif
#if __has_include("KstTime.h")
#include "KstTime.h"
#endif
#if __has_include("KstSync.h")
#include "KstSync.h"
#endif
#if __has_include("KstWinThread.h")
#include "KstWinThread.h"
#endif
#if __has_include("KstWnd.h")
#include "KstWnd.h"
#endif
#if __has_include("KstModule.h")
#include "KstModule.h"
#endif

// The library's version as built, for hosts that check it at run time.
KST_API const char* KstSystemVersion();
