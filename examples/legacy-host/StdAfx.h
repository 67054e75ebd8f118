// stdafx.h : include file for standard system include files, as the project wizard made it.
#pragma once

#define VC_EXTRALEAN  // Exclude rarely-used stuff from Windows headers

#include <afxwin.h>    // MFC core and standard components
#include <afxext.h>    // MFC extensions
#include <afxtempl.h>  // MFC collection templates
#include <afxmt.h>     // MFC synchronization objects
#include <tchar.h>

#include <KstSystem.h>  // the library the host uses
