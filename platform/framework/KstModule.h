// Module state and extension modules: which runtime classes each loaded module registered,
// so that archives find a class by name among the library's classes first, then the others.
//
// Every AFX_CLASSINIT (IMPLEMENT_SERIAL) adds its class to the module state's current class
// list. An extension module saves that list aside before its own globals are built
// (AfxRawExtensionModuleAttach), so its classes land in a list of their own;
// AfxInitExtensionModule takes that list into the module's record and restores the saved
// one; a CDynLinkLibrary links the record's classes into the chain that lookups search.
// A host that registers classes without any of this (an executable or a plain .so using
// the macros) has them in the module state's list, where lookups find them as well.
#pragma once

#include "KstExport.h"
#include "KstObject.h"
#include "KstWinTypes.h"

struct AFX_CLASS_LIST;  // a module's runtime classes, in registration order
class CDynLinkLibrary;

// The process's module state. Read it; change it only through the functions below.
struct KST_API AFX_MODULE_STATE {
    AFX_CLASS_LIST* m_pClassList;  // where AfxClassInit registers now
    AFX_CLASS_LIST* m_pClassInit;  // the list an extension module's raw step saved aside
    void* m_pFactoryList;          // class factories: none on this platform
    void* m_pFactoryInit;
    CDynLinkLibrary* m_pLibraryList;  // the chain of extension modules, newest first
};

KST_API AFX_MODULE_STATE* AfxGetModuleState();

// The record an extension module keeps (zero-initialized, one per module).
struct AFX_EXTENSION_MODULE {
    BOOL bInitialized;
    HMODULE hModule;
    HMODULE hResource;
    AFX_CLASS_LIST* pFirstSharedClass;  // the module's classes, owned by the record
    void* pFirstSharedFactory;
};

// The raw step of an extension module's load, before its global objects are built: the
// current class and factory lists move to the class-init and factory-init heads and the
// lists start empty.
KST_API void AfxRawExtensionModuleAttach();
// Takes the classes registered since the raw step into the record and restores the saved
// lists. Answers TRUE (FALSE only for a record that is already initialized).
KST_API BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
// Deletes the CDynLinkLibrary objects of this module (of all modules with bAll) and forgets
// the module's classes.
KST_API void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);

// Links an extension module's classes into the module state's chain.
class KST_API CDynLinkLibrary : public CObject {
    DECLARE_DYNAMIC(CDynLinkLibrary)
public:
    explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state, BOOL bSystem = FALSE);
    ~CDynLinkLibrary() override;

    HMODULE m_hModule;
    HMODULE m_hResource;
    AFX_CLASS_LIST* m_pClassList;
    BOOL m_bSystem;
    CDynLinkLibrary* m_pNextDLL;
};

// The framework's global locks: CRIT_RUNTIMECLASSLIST guards the class lists and the chain of
// extension modules while someone walks them. The lock is recursive.
#define CRIT_RUNTIMECLASSLIST 0
KST_API void AfxLockGlobals(int nLockType);
KST_API void AfxUnlockGlobals(int nLockType);
// The classes of a list, in registration order (read under CRIT_RUNTIMECLASSLIST).
KST_API int AfxGetClassListSize(const AFX_CLASS_LIST* pList);
KST_API CRuntimeClass* AfxGetClassListAt(const AFX_CLASS_LIST* pList, int nIndex);
// The module that holds an address, as its extension record names it (hModule).
KST_API HMODULE AfxGetModuleOf(const void* address);

// Number of classes registered under a name in all modules (diagnostics and tests).
KST_API int AfxCountClassesNamed(const char* lpszClassName);
