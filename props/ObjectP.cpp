#include <memory>
#include <vector>

#include "KstObjectP.h"
#include "KstTraceLog.h"
#include "internal/ElementCopy.h"
#include "internal/OwnedObjects.h"

namespace {

// The owned objects waiting to be deleted by the outermost DeleteOwned of this thread.
thread_local std::vector<CObjectP*> t_pending;
thread_local bool t_deleting = false;
// How many ReadOwned calls are open on this thread.
thread_local int t_loadDepth = 0;

}  // namespace

void kst::props::DeleteOwned(CObjectP* pObject) noexcept {
    if (!pObject) return;
    if (t_deleting) {
        try {
            t_pending.push_back(pObject);
            return;
        } catch (...) {
            // No memory to queue it: delete it here, one level deeper.
        }
        delete pObject;
        return;
    }
    t_deleting = true;
    delete pObject;
    while (!t_pending.empty()) {
        CObjectP* pNext = t_pending.back();
        t_pending.pop_back();
        delete pNext;
    }
    t_deleting = false;
}
void CObjectP::Serialize(CArchive& ar) {
    if (ar.IsLoading()) Clear();
}

CObjectP& CObjectP::operator=(const CObjectP&) {
    return *this;
}

// A plain property holds nothing, so it equals every object.
bool CObjectP::operator==(const CObjectP&) const {
    return 1;
}

bool CObjectP::operator!=(const CObjectP& other) const {
    return !(*this == other);
}

int CObjectP::IsClass(const CRuntimeClass* pClass) const {
    return GetRuntimeClass() == pClass;
}

void CObjectP::SerializeXML(CXMLNode&, bool) {}

CObjectP* CObjectP::CreateCopy() const {
    const CRuntimeClass* pClass = GetRuntimeClass();
    if (!pClass) return nullptr;
    std::unique_ptr<CObject> pObject(pClass->CreateObject());
    auto* pCopy = dynamic_cast<CObjectP*>(pObject.get());
    if (!pCopy) return nullptr;
    pObject.release();
    *pCopy = *this;
    return pCopy;
}

CObjectP* CObjectP::ReadOwned(CArchive& ar) {
    // Each level of nesting reads through a few frames: a limit keeps a hostile archive from
    // exhausting the stack.
    struct Level {
        Level() { ++t_loadDepth; }
        ~Level() { --t_loadDepth; }
    } level;
    if (t_loadDepth > kst::props::kMaxLoadNesting)
        AfxThrowArchiveException(CArchiveException::genericException);
    UINT nSchema = 0;
    DWORD dwObjectTag = 0;
    CRuntimeClass* pClass = ar.ReadClass(nullptr, &nSchema, &dwObjectTag);
    if (!pClass) {
        if (dwObjectTag == 0) return nullptr;
        AfxThrowArchiveException(CArchiveException::badIndex);
    }
    if (!pClass->IsDerivedFrom(RUNTIME_CLASS(CObjectP)))
        AfxThrowArchiveException(CArchiveException::badClass);
    std::unique_ptr<CObject> pObject(pClass->CreateObject());
    auto* pProperty = dynamic_cast<CObjectP*>(pObject.get());
    if (!pProperty) AfxThrowArchiveException(CArchiveException::badClass);
    ar.MapObject(pProperty);
    // The element reads under its own schema; the reader of the container gets its own back,
    // whether it asks before or after its elements.
    UINT nSchemaSave = ar.GetObjectSchema();
    ar.SetObjectSchema(nSchema);
    try {
        pProperty->Serialize(ar);
    } catch (...) {
        ar.SetObjectSchema(nSchemaSave);
        throw;
    }
    ar.SetObjectSchema(nSchemaSave);
    pObject.release();
    return pProperty;
}

CObjectP* kst::detail::CopyElement(const CObjectP* source, const char* container) {
    if (!source) return nullptr;
    CObjectP* pCopy = source->CreateCopy();
    if (!pCopy) {
        const CRuntimeClass* pClass = source->GetRuntimeClass();
        CTraceLog_Trace(
            "ERROR: %s copy: an element of class %s cannot be copied; its copy is NULL\n",
            container, pClass ? pClass->m_lpszClassName : "?");
    }
    return pCopy;
}
