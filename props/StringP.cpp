#include "KstScalarP.h"

CStringP& CStringP::operator=(const CStringP& src) {
    CString::operator=(src);
    return *this;
}

CStringP& CStringP::operator=(const CString& value) {
    CString::operator=(value);
    return *this;
}

void CStringP::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring())
        ar << static_cast<const CString&>(*this);
    else
        ar >> static_cast<CString&>(*this);
}

CObjectP& CStringP::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CStringP&>(src);
    return *this;
}

bool CStringP::operator==(const CObjectP& other) const {
    if (!IsSameClass(other)) return 0;
    const auto& right = static_cast<const CStringP&>(other);
    return _mbscmp(reinterpret_cast<const unsigned char*>(c_str()),
                   reinterpret_cast<const unsigned char*>(right.c_str())) == 0;
}
