// CArchive's persistent object format: class tags, schemas and back references.
#include <cstring>
#include <vector>

#include "KstArchive.h"
#include "internal/ArchiveMaps.h"

using kst::detail::ArchiveMaps;

void CRuntimeClass::Store(CArchive& ar) const {
    size_t length = std::strlen(m_lpszClassName);
    ar << static_cast<WORD>(m_wSchema) << static_cast<WORD>(length);
    ar.Write(m_lpszClassName, static_cast<UINT>(length));
}

CRuntimeClass* CRuntimeClass::Load(CArchive& ar, UINT* pwSchemaNum) {
    WORD schema = 0;
    WORD length = 0;
    ar >> schema >> length;
    std::vector<char> name(length + 1u, '\0');
    if (ar.Read(name.data(), length) != length)
        AfxThrowArchiveException(CArchiveException::endOfFile);
    if (pwSchemaNum) *pwSchemaNum = schema;
    // A name with a zero byte inside cannot be a registered one.
    if (std::memchr(name.data(), '\0', length)) return nullptr;
    return FromName(name.data());
}

kst::detail::ArchiveMaps& CArchive::Maps() {
    if (!m_pMaps) m_pMaps = std::make_unique<ArchiveMaps>();
    return *m_pMaps;
}

UINT CArchive::GetObjectSchema() {
    UINT schema = m_nObjectSchema;
    m_nObjectSchema = static_cast<UINT>(-1);
    return schema;
}

void CArchive::MapObject(const CObject* pOb) {
    ArchiveMaps& maps = Maps();
    if (maps.nextIndex >= nMaxMapCount) Throw(CArchiveException::badIndex);
    if (IsStoring()) {
        if (pOb && maps.stored.emplace(pOb, maps.nextIndex).second) ++maps.nextIndex;
    } else {
        maps.loaded.push_back({false, const_cast<CObject*>(pOb), 0});
        ++maps.nextIndex;
    }
}

// An index below the escape as a word with the flag bits; else the escape and
// 32 bits.
void CArchive::WriteObjectTag(DWORD nIndex, DWORD dwFlag) {
    if (nIndex < wBigObjectTag) {
        *this << static_cast<WORD>(nIndex | (dwFlag >> 16));
    } else {
        *this << wBigObjectTag << static_cast<DWORD>(nIndex | dwFlag);
    }
}

void CArchive::WriteClass(const CRuntimeClass* pClassRef) {
    CheckStoring();
    if (!pClassRef || pClassRef->m_wSchema == 0xFFFF) Throw(CArchiveException::badClass);
    ArchiveMaps& maps = Maps();
    auto known = maps.stored.find(pClassRef);
    if (known != maps.stored.end()) {
        WriteObjectTag(known->second, dwBigClassTag);
        return;
    }
    if (maps.nextIndex >= nMaxMapCount) Throw(CArchiveException::badIndex);
    *this << wNewClassTag;
    pClassRef->Store(*this);
    maps.stored.emplace(pClassRef, maps.nextIndex++);
}

void CArchive::WriteObject(const CObject* pOb) {
    CheckStoring();
    if (!pOb) {
        *this << wNullTag;
        return;
    }
    ArchiveMaps& maps = Maps();
    auto known = maps.stored.find(pOb);
    if (known != maps.stored.end()) {
        WriteObjectTag(known->second, 0);
        return;
    }
    WriteClass(pOb->GetRuntimeClass());
    if (maps.nextIndex >= nMaxMapCount) Throw(CArchiveException::badIndex);
    maps.stored.emplace(pOb, maps.nextIndex++);
    const_cast<CObject*>(pOb)->Serialize(*this);
}

CRuntimeClass* CArchive::ReadClass(const CRuntimeClass* pClassRefRequested, UINT* pSchema,
                                   DWORD* pObTag) {
    CheckLoading();
    if (pClassRefRequested && pClassRefRequested->m_wSchema == 0xFFFF)
        Throw(CArchiveException::badClass);
    ArchiveMaps& maps = Maps();
    WORD wTag = GetRaw<WORD>();
    DWORD obTag = wTag == wBigObjectTag
                      ? GetRaw<DWORD>()
                      : ((static_cast<DWORD>(wTag & wClassTag) << 16) | (wTag & ~wClassTag));
    if (wTag != wNewClassTag && !(obTag & dwBigClassTag)) {
        if (!pObTag) Throw(CArchiveException::badIndex);
        *pObTag = obTag;
        return nullptr;
    }

    CRuntimeClass* pClassRef = nullptr;
    UINT nSchema = 0;
    if (wTag == wNewClassTag) {
        pClassRef = CRuntimeClass::Load(*this, &nSchema);
        if (!pClassRef || pClassRef->m_wSchema == 0xFFFF || !pClassRef->m_pfnCreateObject)
            Throw(CArchiveException::badClass);
        UINT registered = pClassRef->m_wSchema & ~VERSIONABLE_SCHEMA;
        if (registered != nSchema && !(pClassRef->m_wSchema & VERSIONABLE_SCHEMA))
            Throw(CArchiveException::badSchema);
        if (maps.nextIndex >= nMaxMapCount) Throw(CArchiveException::badIndex);
        maps.loaded.push_back({true, pClassRef, nSchema});
        ++maps.nextIndex;
    } else {
        DWORD nClassIndex = obTag & ~dwBigClassTag;
        if (nClassIndex == 0 || nClassIndex >= maps.loaded.size() ||
            !maps.loaded[nClassIndex].isClass)
            Throw(CArchiveException::badIndex);
        pClassRef = static_cast<CRuntimeClass*>(maps.loaded[nClassIndex].pointer);
        nSchema = maps.loaded[nClassIndex].schema;
    }
    if (pClassRefRequested && !pClassRef->IsDerivedFrom(pClassRefRequested))
        Throw(CArchiveException::badClass);
    if (pSchema) *pSchema = nSchema;
    if (pObTag) *pObTag = obTag;
    return pClassRef;
}

void CArchive::SerializeClass(const CRuntimeClass* pClassRef) {
    if (IsStoring())
        WriteClass(pClassRef);
    else
        ReadClass(pClassRef);
}

CObject* CArchive::ReadObject(const CRuntimeClass* pClassRefRequested) {
    UINT nSchema = 0;
    DWORD obTag = 0;
    CRuntimeClass* pClassRef = ReadClass(pClassRefRequested, &nSchema, &obTag);
    ArchiveMaps& maps = Maps();
    if (!pClassRef) {
        if (obTag >= maps.loaded.size() || maps.loaded[obTag].isClass)
            Throw(CArchiveException::badIndex);
        auto pOb = static_cast<CObject*>(maps.loaded[obTag].pointer);
        if (pOb && pClassRefRequested && !pOb->IsKindOf(pClassRefRequested))
            Throw(CArchiveException::badClass);
        return pOb;
    }

    CObject* pOb = pClassRef->CreateObject();
    if (!pOb) Throw(CArchiveException::badClass);
    size_t slot = maps.loaded.size();
    maps.loaded.push_back({false, pOb, 0});  // before Serialize: it may refer back to itself
    ++maps.nextIndex;
    UINT nSchemaSave = m_nObjectSchema;
    m_nObjectSchema = nSchema;
    try {
        pOb->Serialize(*this);
    } catch (...) {
        m_nObjectSchema = nSchemaSave;
        // Objects read from here on belonged to the failed one; forget them all.
        for (size_t i = slot; i < maps.loaded.size(); ++i)
            if (!maps.loaded[i].isClass) maps.loaded[i].pointer = nullptr;
        delete pOb;
        throw;
    }
    m_nObjectSchema = nSchemaSave;
    return pOb;
}
