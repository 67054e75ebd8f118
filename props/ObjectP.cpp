#include <memory>

#include "KstObjectP.h"

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
