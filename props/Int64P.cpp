#include "KstScalarP.h"
#include "internal/HighLowWords.h"

CInt64P& CInt64P::operator=(const CInt64P& src) {
    m_nValue = src.m_nValue;
    return *this;
}

void CInt64P::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring())
        kst::props::StoreHighLow(ar, m_nValue);
    else
        m_nValue = kst::props::LoadHighLow(ar);
}

CObjectP& CInt64P::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CInt64P&>(src);
    return *this;
}

bool CInt64P::operator==(const CObjectP& other) const {
    return IsSameClass(other) && m_nValue == static_cast<const CInt64P&>(other).m_nValue;
}
