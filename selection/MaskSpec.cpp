#include "KstMaskSpec.h"

#include "KstFileService.h"

namespace {

void CopyFolders(const CStringArray& source, CStringArray& target) {
    for (int i = 0; i < source.GetSize(); ++i) {
        CString folder = source.GetAt(i);
        CFileService::AddBackSlash(folder);
        target.Add(folder);
    }
}

// Entry by entry from the last to the first, ignoring case; the lengths are already equal.
bool SameIgnoringCase(const CStringArray& a, const CStringArray& b) {
    for (int i = a.GetSize() - 1; i >= 0; --i)
        if (a.GetAt(i).CompareNoCase(b.GetAt(i)) != 0) return false;
    return true;
}

void TrimAll(CStringArray& strings) {
    for (int i = 0; i < strings.GetSize(); ++i) strings.ElementAt(i).Trim();
}

void LoadStrings(CArchive& ar, CStringArray& strings) {
    // Replaced, not overlaid: a cut archive leaves no earlier entry behind the new ones.
    strings.RemoveAll();
    strings.Serialize(ar);
}

}  // namespace

CMaskSpec::CMaskSpec() : m_bInclSubDirs(1), m_bSetFilesStatus(0) {}

CMaskSpec::CMaskSpec(const CMaskSpec& src)
    : CObjectP(src), m_bInclSubDirs(1), m_bSetFilesStatus(0) {
    *this = src;
}

CMaskSpec::CMaskSpec(const CStringArray& dirs, const CStringArray& include,
                     const CStringArray& exclude, int inclSubDirs, int setFilesStatus)
    : m_bInclSubDirs(inclSubDirs), m_bSetFilesStatus(setFilesStatus) {
    CopyFolders(dirs, m_arrRelativeDirs);
    m_arrInclude.Append(include);
    m_arrExclude.Append(exclude);
}

CMaskSpec& CMaskSpec::operator=(const CMaskSpec& src) {
    if (this == &src) return *this;
    m_arrRelativeDirs.RemoveAll();
    m_arrInclude.RemoveAll();
    m_arrExclude.RemoveAll();
    m_bInclSubDirs = src.m_bInclSubDirs;
    m_bSetFilesStatus = src.m_bSetFilesStatus;
    m_arrRelativeDirs.Append(src.m_arrRelativeDirs);
    m_arrInclude.Append(src.m_arrInclude);
    m_arrExclude.Append(src.m_arrExclude);
    return *this;
}

bool CMaskSpec::operator==(const CMaskSpec& other) const {
    if (m_arrExclude.GetSize() != other.m_arrExclude.GetSize() ||
        m_arrInclude.GetSize() != other.m_arrInclude.GetSize() ||
        m_arrRelativeDirs.GetSize() != other.m_arrRelativeDirs.GetSize())
        return false;
    if (m_bInclSubDirs != other.m_bInclSubDirs || m_bSetFilesStatus != other.m_bSetFilesStatus)
        return false;
    return SameIgnoringCase(m_arrExclude, other.m_arrExclude) &&
           SameIgnoringCase(m_arrInclude, other.m_arrInclude) &&
           SameIgnoringCase(m_arrRelativeDirs, other.m_arrRelativeDirs);
}

CObjectP& CMaskSpec::operator=(const CObjectP& src) {
    if (IsSameClass(src)) *this = static_cast<const CMaskSpec&>(src);
    return *this;
}

bool CMaskSpec::operator==(const CObjectP& other) const {
    return IsSameClass(other) && *this == static_cast<const CMaskSpec&>(other);
}

void CMaskSpec::AddWildcard(const CString& mask, int bInclude) {
    (bInclude ? m_arrInclude : m_arrExclude).Add(mask);
}

void CMaskSpec::Normalize() {
    TrimAll(m_arrRelativeDirs);
    for (int i = 0; i < m_arrRelativeDirs.GetSize(); ++i)
        CFileService::AddBackSlash(m_arrRelativeDirs.ElementAt(i));
    TrimAll(m_arrInclude);
    TrimAll(m_arrExclude);
}

void CMaskSpec::Serialize(CArchive& ar) {
    CObjectP::Serialize(ar);
    if (ar.IsStoring()) {
        ar << m_bInclSubDirs << m_bSetFilesStatus;
        m_arrRelativeDirs.Serialize(ar);
        m_arrInclude.Serialize(ar);
        m_arrExclude.Serialize(ar);
        return;
    }
    ar >> m_bInclSubDirs >> m_bSetFilesStatus;
    LoadStrings(ar, m_arrRelativeDirs);
    LoadStrings(ar, m_arrInclude);
    LoadStrings(ar, m_arrExclude);
}
