#include "KstMaskSpecArray.h"

#include "KstFileService.h"

namespace {

// Same number of strings, same order, each equal byte for byte.
bool SameStrings(const CStringArray& a, const CStringArray& b) {
    if (a.GetSize() != b.GetSize()) return false;
    for (int i = 0; i < a.GetSize(); ++i)
        if (a.GetAt(i) != b.GetAt(i)) return false;
    return true;
}

void AppendTrimmed(const CStringArray& source, CStringArray& target) {
    for (int i = 0; i < source.GetSize(); ++i) {
        CString text = source.GetAt(i);
        text.Trim();
        target.Add(text);
    }
}

}  // namespace

CMaskSpecArray::CMaskSpecArray(const CString& baseDir) : m_strBaseDir(baseDir) {
    CFileService::AddBackSlash(m_strBaseDir);
}

CMaskSpecArray::CMaskSpecArray(const CMaskSpecArray& src)
    : CObjectPArrayPtr(src), m_strBaseDir(src.m_strBaseDir) {}

CMaskSpecArray::~CMaskSpecArray() {
    m_strBaseDir.Empty();
}

CMaskSpecArray& CMaskSpecArray::operator=(const CMaskSpecArray& src) {
    CObjectPArrayPtr::operator=(src);
    m_strBaseDir = src.m_strBaseDir;
    return *this;
}

CMaskSpec* CMaskSpecArray::GetMaskAt(int nIndex) const {
    return dynamic_cast<CMaskSpec*>(GetAt(nIndex));
}

void CMaskSpecArray::AddMask(const CStringArray& dirs, const CStringArray& include,
                             const CStringArray& exclude, int inclSubDirs, int setFilesStatus) {
    Add(new CMaskSpec(dirs, include, exclude, inclSubDirs, setFilesStatus));
}

void CMaskSpecArray::AddMask(const CMaskSpec& spec) {
    AddMask(spec.m_arrRelativeDirs, spec.m_arrInclude, spec.m_arrExclude, spec.m_bInclSubDirs,
            spec.m_bSetFilesStatus);
}

int CMaskSpecArray::ConvertFromSimple(const CStringArray& include, const CStringArray& exclude,
                                      int allSubDirs, const CStringArray& subDirs,
                                      int masksInSubDirs) {
    // Masks in all subfolders fold into the base part with subfolders on.
    bool bOneSpec = allSubDirs ? masksInSubDirs != 0 : subDirs.GetSize() == 0;
    CStringArray baseDir;
    baseDir.Add(CMaskSpec::szBaseDir);
    AddMask(baseDir, include, exclude, bOneSpec && allSubDirs, 0);
    if (bOneSpec) return 1;

    CStringArray folders;
    if (allSubDirs)
        folders.Add(CMaskSpec::szAllSubDirs);
    else
        AppendTrimmed(subDirs, folders);
    if (masksInSubDirs) {
        AddMask(folders, include, exclude, 1, 0);
    } else {
        CStringArray allFiles, noFiles;
        allFiles.Add("*.*");
        AddMask(folders, allFiles, noFiles, 1, 0);
    }
    return 1;
}

int CMaskSpecArray::ConvertToSimple(CStringArray& include, CStringArray& exclude, int& allSubDirs,
                                    CStringArray& subDirs, int& masksInSubDirs) const {
    include.RemoveAll();
    exclude.RemoveAll();
    masksInSubDirs = 1;
    allSubDirs = 0;
    int answer = 1;
    bool bBaseSeen = false, bSubDirsSeen = false;
    for (int i = 0; i < GetSize() && !(bBaseSeen && bSubDirsSeen); ++i) {
        const CMaskSpec* pSpec = GetMaskAt(i);
        if (!pSpec || pSpec->m_arrRelativeDirs.IsEmpty()) continue;
        const CString first = pSpec->m_arrRelativeDirs.GetAt(0);
        if (first == CMaskSpec::szGlobalExclusion) continue;

        if (first == CMaskSpec::szBaseDir || (first.IsEmpty() && !bBaseSeen)) {
            AppendTrimmed(pSpec->m_arrInclude, include);
            AppendTrimmed(pSpec->m_arrExclude, exclude);
            if (pSpec->m_bInclSubDirs) allSubDirs = masksInSubDirs = 1;
            bBaseSeen = true;
            continue;
        }
        if (bSubDirsSeen) continue;
        allSubDirs = first == CMaskSpec::szAllSubDirs;
        subDirs.Append(pSpec->m_arrRelativeDirs);
        const CStringArray& includes = pSpec->m_arrInclude;
        masksInSubDirs = !(includes.GetSize() > 0 && includes.GetAt(0) == "*.*");
        if (allSubDirs && pSpec->m_arrRelativeDirs.GetSize() >= 2) answer = 0;
        if (!masksInSubDirs) {
            if (includes.GetSize() > 1 || pSpec->m_arrExclude.GetSize() > 0) answer = 0;
        } else if (!SameStrings(includes, include) || !SameStrings(pSpec->m_arrExclude, exclude)) {
            answer = 0;
        }
        bSubDirsSeen = true;
    }
    return GetSize() > 2 ? 0 : answer;
}
