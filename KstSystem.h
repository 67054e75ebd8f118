// KstSystem: the umbrella header a host includes to use the whole library.
#pragma once

#define KST_SYSTEM_VERSION "1.0.0"

// The platform layer: framework stand-in, system interfaces and host hooks.
#include "KstExport.h"
#include "KstWinTypes.h"
#include "KstPlatform.h"
#include "KstPlatformShares.h"
#include "KstWin32.h"
#include "KstString.h"
#include "KstObject.h"
#include "KstCollections.h"
#include "KstFile.h"
#include "KstArchive.h"
#include "KstTime.h"
#include "KstVariant.h"
#include "KstSync.h"
#include "KstWinThread.h"
#include "KstWinApp.h"
#include "KstFileFind.h"
#include "KstTypedPtr.h"
#include "KstWnd.h"
#include "KstModule.h"
#include "KstOleAuto.h"
#include "KstXmlDom.h"

// The library.
#include "KstTraceLog.h"
#include "KstStringService.h"
#include "KstProperties.h"
#include "KstXML.h"
#include "KstLocalization.h"
#include "KstErrorInfo.h"
#include "KstFileService.h"
#include "KstFileInfo.h"
#include "KstFileLockMarker.h"
#include "KstMaskSpec.h"
#include "KstMaskSpecArray.h"
#include "KstPattern.h"
#include "KstZipInfo.h"
#include "KstZipSpan.h"
#include "KstPrivateProfile.h"
#include "KstFloppyAccessLow.h"
#include "KstThread.h"

// The library's version as built, for hosts that check it at run time.
KST_API const char* KstSystemVersion();
