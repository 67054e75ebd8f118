// CFileInfo: the file record's comparisons and its text and archive forms.
#include <cstdlib>

#include "KstCollections.h"
#include "KstFile.h"
#include "KstFileInfo.h"
#include "KstStringService.h"

namespace {

// The runtime's atoi: blanks, a sign, then digits summed in 32 bits with wrap-around, so
// every number written as unsigned decimal reads back to the same bits.
DWORD ParseWrapped(const CString& text) {
    const char* p = text.c_str();
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    DWORD value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + DWORD(*p - '0');
    return negative ? 0u - value : value;
}

CString Unsigned(DWORD value) {
    CString text;
    text.Format("%lu", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

CFileInfo::CFileInfo(const CFileInfo& src) : CObjectP(src) {
    *this = src;
}

CFileInfo& CFileInfo::operator=(const CFileInfo& src) {
    m_fRatio = src.m_fRatio;
    m_strFileName = src.m_strFileName;
    m_strAux1 = src.m_strAux1;
    m_nKind = src.m_nKind;
    m_nState = src.m_nState;
    m_timeModify = src.m_timeModify;
    m_wAux1 = src.m_wAux1;
    m_wAux2 = src.m_wAux2;
    m_nPackedSize = src.m_nPackedSize;
    m_nSize = src.m_nSize;
    m_nCheckSum = src.m_nCheckSum;
    m_strAux2 = src.m_strAux2;
    m_nNumber = src.m_nNumber;
    return *this;
}

CObjectP& CFileInfo::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CFileInfo&>(src);
    return *this;
}

bool CFileInfo::operator==(const CObjectP& other) const {
    return IsSameClass(other) && CompareFileInfo(static_cast<const CFileInfo*>(&other));
}

int CFileInfo::GetFileInfo(const CString& path) {
    CFileStatus status;
    if (!CFile::GetStatus(path, status)) return 0;
    m_timeModify = status.m_mtime;
    m_nSize = status.m_size;
    return 1;
}

void CFileInfo::ComputeRatio() {
    if (m_nSize == 0) {
        m_fRatio = 0;
        return;
    }
    m_fRatio = static_cast<float>(double(m_nPackedSize) / double(m_nSize) * 100.0);
}

int CFileInfo::CompareFileInfo(const CFileInfo* other) const {
    return m_timeModify == other->m_timeModify &&
           m_strFileName.CompareNoCase(other->m_strFileName) == 0 && m_nSize == other->m_nSize &&
           m_nKind == other->m_nKind &&
           (m_nCheckSum == 0 || other->m_nCheckSum == 0 || m_nCheckSum == other->m_nCheckSum);
}

int CFileInfo::SameModifyTime(const CTime& time) const {
    __time64_t difference = m_timeModify.GetTime() - time.GetTime();
    return difference > -2 && difference < 2;
}

int CFileInfo::CompareFromModifyTimeAndSize(const CFileInfo* other) const {
    return SameModifyTime(other->m_timeModify) && m_nSize == other->m_nSize;
}

void CFileInfo::PackToString(CString& out, const CString& delimiter) const {
    CStringArray pieces;
    pieces.SetSize(0, 5);
    pieces.Add(m_strFileName);
    pieces.Add(Unsigned(m_nNumber));
    pieces.Add(Unsigned(static_cast<DWORD>(m_nSize)));
    pieces.Add(Unsigned(static_cast<DWORD>(m_timeModify.GetTime())));
    pieces.Add(Unsigned(m_nCheckSum));
    CStringService::PackToString(pieces, out, delimiter, 1);
}

CString CFileInfo::PackToString(const CString& delimiter) const {
    CString text;
    PackToString(text, delimiter);
    return text;
}

int CFileInfo::UnpackFromString(const CString& text, const CString& delimiter) {
    CStringArray pieces;
    CStringService::UnpackFromString(pieces, text, delimiter);
    int count = pieces.GetSize();
    if (count < 1 || count > 5) return 0;
    m_strFileName = pieces[0];
    if (count > 1) m_nNumber = ParseWrapped(pieces[1]);
    if (count > 2) m_nSize = static_cast<LONG>(ParseWrapped(pieces[2]));
    // Read back as the archive reads a time: 32 bits, unsigned.
    if (count > 3) m_timeModify = CTime(static_cast<__time64_t>(ParseWrapped(pieces[3])));
    if (count > 4) m_nCheckSum = ParseWrapped(pieces[4]);
    return count >= 4;
}

void CFileInfo::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring())
        ar << m_strFileName << m_timeModify << m_nPackedSize << m_nSize << m_fRatio << m_nNumber;
    else
        ar >> m_strFileName >> m_timeModify >> m_nPackedSize >> m_nSize >> m_fRatio >> m_nNumber;
}
