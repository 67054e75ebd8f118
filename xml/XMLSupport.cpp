// The mix-in's node helpers and the search for runtime classes by name.
#include <cstring>
#include <memory>

#include "KstModule.h"
#include "KstObjectP.h"
#include "KstXML.h"
#include "KstXMLSupport.h"
#include "internal/StackRoom.h"

namespace {

thread_local int t_nesting = 0;

struct Nested {
    Nested() { ++t_nesting; }
    ~Nested() { --t_nesting; }
    Nested(const Nested&) = delete;
    Nested& operator=(const Nested&) = delete;
};

// Room kept for what one more level and the DOM's own calls need (more under sanitizers).
constexpr size_t kStackReserve = 96 * 1024;

bool TooDeep() {
    return t_nesting >= CXMLSupportInObject::kMaxNesting ||
           kst::detail::StackRoomLeft() < kStackReserve;
}

CRuntimeClass* FindIn(const AFX_CLASS_LIST* pList, LPCTSTR lpszClassName) {
    for (int i = 0, n = AfxGetClassListSize(pList); i < n; ++i) {
        CRuntimeClass* pClass = AfxGetClassListAt(pList, i);
        if (pClass && strcmp(pClass->m_lpszClassName, lpszClassName) == 0) return pClass;
    }
    return nullptr;
}

// Other nodes (a processing instruction) may carry a class's name too, but hold no object.
bool IsElement(CXMLNode& node) {
    DOMNodeType type = NODE_INVALID;
    return DomGetNodeType(*node.GetInterface(), type) == S_OK && type == NODE_ELEMENT;
}

const CRuntimeClass* ClassOf(const CXMLSupportInObject* pSupport) {
    const auto* pObject = dynamic_cast<const CObject*>(pSupport);
    return pObject ? pObject->GetRuntimeClass() : nullptr;
}

}  // namespace

void CXMLSupportInObject::SerializeXML(CXMLNode&, bool) {}

bool CXMLSupportInObject::CreateXMLNode(CXMLDocument& document, CXMLNode& node) {
    return CreateXMLNodeOf(dynamic_cast<const CObject*>(this), document, node);
}

CXMLNode* CXMLSupportInObject::CreateXMLNode(CXMLDocument& document) {
    auto node = std::make_unique<CXMLNode>();
    return CreateXMLNode(document, *node) ? node.release() : nullptr;
}

bool CXMLSupportInObject::IsXMLNodeOf(CXMLNode& node) {
    return IsXMLNodeOfObject(dynamic_cast<const CObject*>(this), node);
}

bool CXMLSupportInObject::CreateXMLNodeOf(const CObject* pObject, CXMLDocument& document,
                                          CXMLNode& node) {
    const CRuntimeClass* pClass = pObject ? pObject->GetRuntimeClass() : nullptr;
    return pClass && document.CreateElement(pClass->m_lpszClassName, node);
}

bool CXMLSupportInObject::IsXMLNodeOfObject(const CObject* pObject, CXMLNode& node) {
    const CRuntimeClass* pClass = pObject ? pObject->GetRuntimeClass() : nullptr;
    return pClass && strcmp(node.GetName(), pClass->m_lpszClassName) == 0;
}

CRuntimeClass* CXMLSupportInObject::FindRuntimeClass(LPCTSTR lpszClassName) {
    if (!lpszClassName) return nullptr;
    static const HMODULE self = AfxGetModuleOf(reinterpret_cast<const void*>(&ClassOf));
    AfxLockGlobals(CRIT_RUNTIMECLASSLIST);
    const AFX_MODULE_STATE* pState = AfxGetModuleState();
    CRuntimeClass* pFound = nullptr;
    for (CDynLinkLibrary* pDLL = pState->m_pLibraryList; pDLL && !pFound; pDLL = pDLL->m_pNextDLL)
        if (pDLL->m_hModule == self) pFound = FindIn(pDLL->m_pClassList, lpszClassName);
    for (CDynLinkLibrary* pDLL = pState->m_pLibraryList; pDLL && !pFound; pDLL = pDLL->m_pNextDLL)
        if (pDLL->m_hModule != self) pFound = FindIn(pDLL->m_pClassList, lpszClassName);
    // Classes a host registered outside any extension module (an executable's own).
    if (!pFound) pFound = FindIn(pState->m_pClassList, lpszClassName);
    AfxUnlockGlobals(CRIT_RUNTIMECLASSLIST);
    return pFound;
}

CObject* CXMLSupportInObject::CreateObjectByClassName(LPCTSTR lpszClassName) {
    CRuntimeClass* pClass = FindRuntimeClass(lpszClassName);
    return pClass ? pClass->CreateObject() : nullptr;
}

CObject* CXMLSupportInObject::CreateObjectFromXMLNode(CXMLNode& node) {
    CString name = node.GetName();
    return name.IsEmpty() || !IsElement(node) ? nullptr : CreateObjectByClassName(name);
}

bool CXMLSupportInObject::AppendChildOf(const CObject* pObject, CXMLDocument& document,
                                        CXMLNode& parent, CXMLNode& child) {
    if (TooDeep()) return false;
    return CreateXMLNodeOf(pObject, document, child) && parent.AppendChild(child);
}

CObjectP* CXMLSupportInObject::CreatePropertyFromXMLNode(CXMLNode& node) {
    CString name = node.GetName();
    if (TooDeep() || name.IsEmpty() || !IsElement(node)) return nullptr;
    CRuntimeClass* pClass = FindRuntimeClass(name);
    // Only property classes are created: a document names no other class into being.
    if (!pClass || !pClass->IsDerivedFrom(RUNTIME_CLASS(CObjectP))) return nullptr;
    std::unique_ptr<CObject> pObject(pClass->CreateObject());
    auto* pProperty = dynamic_cast<CObjectP*>(pObject.get());
    if (pProperty) pObject.release();
    return pProperty;
}

bool CXMLSupportInObject::SerializeNested(CXMLSupportInObject& object, CXMLNode& node,
                                          bool bStoring) {
    if (TooDeep()) return false;
    Nested level;
    object.SerializeXML(node, bStoring);
    return true;
}
