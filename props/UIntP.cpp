#include "KstScalarP.h"

CUIntP& CUIntP::operator=(const CUIntP& src) {
    m_nValue = src.m_nValue;
    return *this;
}

CUIntP& CUIntP::operator=(UINT value) {
    m_nValue = value;
    return *this;
}

void CUIntP::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring())
        ar << m_nValue;
    else
        ar >> m_nValue;
}

CObjectP& CUIntP::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CUIntP&>(src);
    return *this;
}

bool CUIntP::operator==(const CObjectP& other) const {
    return IsSameClass(other) && m_nValue == static_cast<const CUIntP&>(other).m_nValue;
}
