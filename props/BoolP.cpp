#include "KstScalarP.h"

CBoolP& CBoolP::operator=(const CBoolP& src) {
    m_byValue = src.m_byValue;
    return *this;
}

void CBoolP::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring())
        ar << m_byValue;
    else
        ar >> m_byValue;
}

CObjectP& CBoolP::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CBoolP&>(src);
    return *this;
}

bool CBoolP::operator==(const CObjectP& other) const {
    return IsSameClass(other) && m_byValue == static_cast<const CBoolP&>(other).m_byValue;
}
