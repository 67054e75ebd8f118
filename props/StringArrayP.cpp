#include "KstStringArrayP.h"

CStringArrayP::CStringArrayP(const CStringArray& src) {
    SetSize(src.GetSize());
    for (int i = 0; i < src.GetSize(); ++i) m_strings.SetAt(i, src.GetAt(i));
}

CStringArrayP::CStringArrayP(const CStringArrayP& src) : CObjectP(src) {
    CopyFrom(src);
}

CStringArrayP& CStringArrayP::operator=(const CStringArrayP& src) {
    if (this != &src) CopyFrom(src);
    return *this;
}

void CStringArrayP::CopyFrom(const CStringArrayP& src) {
    SetSize(0);
    SetSize(src.GetSize());
    for (int i = 0; i < src.GetSize(); ++i) m_strings.SetAt(i, src.m_strings.GetAt(i));
}

void CStringArrayP::AppendTo(CStringArray& target) const {
    for (int i = 0; i < GetSize(); ++i) target.Add(m_strings.GetAt(i));
}

void CStringArrayP::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    m_strings.Serialize(ar);
}

CObjectP& CStringArrayP::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CStringArrayP&>(src);
    return *this;
}

bool CStringArrayP::operator==(const CObjectP& other) const {
    if (!IsSameClass(other)) return 0;
    const auto& right = static_cast<const CStringArrayP&>(other);
    if (GetSize() != right.GetSize()) return 0;
    for (int i = 0; i < GetSize(); ++i) {
        const auto* pLeft = reinterpret_cast<const unsigned char*>(m_strings.ElementAt(i).c_str());
        const auto* pRight =
            reinterpret_cast<const unsigned char*>(right.m_strings.ElementAt(i).c_str());
        if (_mbscmp(pLeft, pRight) != 0) return 0;
    }
    return 1;
}
