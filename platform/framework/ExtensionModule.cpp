// Extension modules: the raw load step, the module record and the chain of libraries.
#include <dlfcn.h>

#include <mutex>

#include "KstModule.h"
#include "internal/ClassRegistry.h"

using kst::detail::ClassRegistry;

AFX_MODULE_STATE* AfxGetModuleState() {
    return &ClassRegistry::Instance().State();
}

void AfxRawExtensionModuleAttach() {
    ClassRegistry& registry = ClassRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    AFX_MODULE_STATE& state = registry.State();
    // A second raw step without an init in between keeps the first saved list.
    if (!state.m_pClassInit) {
        state.m_pClassInit = state.m_pClassList;
        state.m_pClassList = new AFX_CLASS_LIST;
    }
    state.m_pFactoryInit = state.m_pFactoryList;
    state.m_pFactoryList = nullptr;
}

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& module, HMODULE hModule) {
    if (module.bInitialized) return FALSE;
    ClassRegistry& registry = ClassRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    AFX_MODULE_STATE& state = registry.State();
    module.hModule = hModule;
    module.hResource = hModule;
    if (state.m_pClassInit) {
        module.pFirstSharedClass = state.m_pClassList;
        state.m_pClassList = state.m_pClassInit;
        state.m_pClassInit = nullptr;
    } else {
        // No raw step ran: the classes stay where they are, in the module state's list.
        module.pFirstSharedClass = new AFX_CLASS_LIST;
    }
    module.pFirstSharedFactory = state.m_pFactoryList;
    state.m_pFactoryList = state.m_pFactoryInit;
    state.m_pFactoryInit = nullptr;
    module.bInitialized = TRUE;
    return TRUE;
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& module, BOOL bAll) {
    if (!module.bInitialized) return;
    ClassRegistry& registry = ClassRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    AFX_MODULE_STATE& state = registry.State();
    for (CDynLinkLibrary* pDLL = state.m_pLibraryList; pDLL;) {
        CDynLinkLibrary* pNext = pDLL->m_pNextDLL;
        if (bAll || pDLL->m_hModule == module.hModule) delete pDLL;
        pDLL = pNext;
    }
    registry.DeleteList(module.pFirstSharedClass);
    module = AFX_EXTENSION_MODULE{};
}

IMPLEMENT_DYNAMIC(CDynLinkLibrary, CObject)

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& module, BOOL bSystem)
    : m_hModule(module.hModule),
      m_hResource(module.hResource),
      m_pClassList(module.pFirstSharedClass),
      m_bSystem(bSystem),
      m_pNextDLL(nullptr) {
    ClassRegistry& registry = ClassRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    AFX_MODULE_STATE& state = registry.State();
    m_pNextDLL = state.m_pLibraryList;
    state.m_pLibraryList = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
    ClassRegistry& registry = ClassRegistry::Instance();
    std::lock_guard lock(registry.Mutex());
    for (CDynLinkLibrary** pp = &registry.State().m_pLibraryList; *pp; pp = &(*pp)->m_pNextDLL) {
        if (*pp == this) {
            *pp = m_pNextDLL;
            break;
        }
    }
}

void AfxLockGlobals(int) {
    ClassRegistry::Instance().Mutex().lock();
}

void AfxUnlockGlobals(int) {
    ClassRegistry::Instance().Mutex().unlock();
}

int AfxGetClassListSize(const AFX_CLASS_LIST* pList) {
    return pList ? static_cast<int>(pList->classes.size()) : 0;
}

CRuntimeClass* AfxGetClassListAt(const AFX_CLASS_LIST* pList, int nIndex) {
    if (!pList || nIndex < 0 || nIndex >= AfxGetClassListSize(pList)) return nullptr;
    return pList->classes[static_cast<size_t>(nIndex)];
}

HMODULE AfxGetModuleOf(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) ? static_cast<HMODULE>(info.dli_fbase) : nullptr;
}
