#include "KstPattern.h"

#include "internal/OwnedElements.h"

CPattern::CPattern(const CPattern& src)
    : CMaskSpecArray(src), m_strPatternName(src.m_strPatternName), m_bSimple(src.m_bSimple) {}

CPattern& CPattern::operator=(const CPattern& src) {
    CObjectPArrayPtr::operator=(src);
    m_strPatternName = src.m_strPatternName;
    m_bSimple = src.m_bSimple;
    return *this;
}

bool CPattern::operator==(const CPattern& other) const {
    return m_strPatternName == other.m_strPatternName && m_bSimple == other.m_bSimple &&
           CObjectPArrayPtr::operator==(static_cast<const CObjectP&>(other));
}

CObjectP& CPattern::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CPattern&>(src);
    return *this;
}

bool CPattern::operator==(const CObjectP& other) const {
    return IsSameClass(other) && *this == static_cast<const CPattern&>(other);
}

void CPattern::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring()) {
        kst::selection::StoreElements(ar, *this);
        ar << m_strPatternName << m_bSimple;
        return;
    }
    kst::selection::LoadOwnedElements(ar, *this, RUNTIME_CLASS(CMaskSpec));
    ar >> m_strPatternName >> m_bSimple;
}

CPattern* CPatternArray::GetPatternAt(int nIndex) const {
    return dynamic_cast<CPattern*>(GetAt(nIndex));
}

void CPatternArray::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring()) {
        kst::selection::StoreElements(ar, *this);
        return;
    }
    kst::selection::LoadOwnedElements(ar, *this, RUNTIME_CLASS(CPattern));
}
