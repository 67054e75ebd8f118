// CRuntimeClass: derivation tests, creation and lookups by name.
#include "KstObject.h"
#include "internal/ClassRegistry.h"

using kst::detail::ClassRegistry;

CObject* CRuntimeClass::CreateObject() const {
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
    for (const CRuntimeClass* p = this; p; p = p->m_pBaseClass)
        if (p == pBaseClass) return TRUE;
    return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(const char* lpszClassName) {
    if (!lpszClassName) return nullptr;
    return ClassRegistry::Instance().Find(lpszClassName);
}

CObject* CRuntimeClass::CreateObject(const char* lpszClassName) {
    CRuntimeClass* pClass = FromName(lpszClassName);
    return pClass ? pClass->CreateObject() : nullptr;
}

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* pNewClass) : m_pClass(pNewClass) {
    AfxClassInit(pNewClass);
}

AFX_CLASSINIT::~AFX_CLASSINIT() {
    if (m_pClass) ClassRegistry::Instance().Unregister(m_pClass);
}

void AfxClassInit(CRuntimeClass* pNewClass) {
    if (pNewClass) ClassRegistry::Instance().Register(pNewClass);
}

int AfxCountClassesNamed(const char* lpszClassName) {
    return lpszClassName ? ClassRegistry::Instance().CountNamed(lpszClassName) : 0;
}
