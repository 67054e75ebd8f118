#include "KstScalarP.h"
#include "internal/HighLowWords.h"

CTimeP& CTimeP::operator=(const CTimeP& src) {
    CTime::operator=(src);
    return *this;
}

CTimeP& CTimeP::operator=(const CTime& value) {
    CTime::operator=(value);
    return *this;
}

void CTimeP::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring())
        kst::props::StoreHighLow(ar, GetTime());
    else
        CTime::operator=(CTime(kst::props::LoadHighLow(ar)));
}

CObjectP& CTimeP::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CTimeP&>(src);
    return *this;
}

bool CTimeP::operator==(const CObjectP& other) const {
    return IsSameClass(other) && GetTime() == static_cast<const CTimeP&>(other).GetTime();
}
