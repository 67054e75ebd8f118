// CMaskSpec: one include/exclude file selection. It names folders relative to the base folder
// of the list that holds it (CMaskSpecArray), the file-name masks to include and to exclude,
// whether subfolders count, and a flag the caller carries with it. The library stores,
// compares, converts and serializes mask specs; it matches no masks against files.
#pragma once

#include "KstCollections.h"
#include "KstExport.h"
#include "KstObjectP.h"
#include "KstString.h"

class CMaskSpecArray;

class KST_API CMaskSpec : public CObjectP {
    DECLARE_SERIAL(CMaskSpec)
public:
    // Folder entries with a meaning of their own.
    static constexpr const char* szBaseDir = ".\\";                        // the base folder
    static constexpr const char* szAllSubDirs = "*\\";                     // every subfolder
    static constexpr const char* szGlobalExclusion = "%GlobalExclusion%";  // first entry only

    // No folders, no masks, subfolders on, files status off.
    CMaskSpec();
    CMaskSpec(const CMaskSpec& src);
    // Folders get a trailing backslash when not empty and lacking one (no trimming); masks
    // are taken as they are.
    CMaskSpec(const CStringArray& dirs, const CStringArray& include, const CStringArray& exclude,
              int inclSubDirs, int setFilesStatus);
    ~CMaskSpec() override = default;

    CMaskSpec& operator=(const CMaskSpec& src);
    // Same lengths, same flags, and every folder and mask equal ignoring case, in order.
    bool operator==(const CMaskSpec& other) const;

    CObjectP& operator=(const CObjectP& src) override;
    bool operator==(const CObjectP& other) const override;
    bool operator!=(const CObjectP& other) const override { return !(*this == other); }
    virtual bool operator!=(const CMaskSpec& other) const { return !(*this == other); }

    // The arrays themselves, for the caller to read and change.
    CStringArray* GetIncludeWildcards() { return &m_arrInclude; }
    CStringArray* GetExcludeWildcards() { return &m_arrExclude; }
    // Read access for hosts that apply a mask spec to the disk.
    const CStringArray& GetRelativeDirs() const { return m_arrRelativeDirs; }
    const CStringArray& GetIncludes() const { return m_arrInclude; }
    const CStringArray& GetExcludes() const { return m_arrExclude; }
    // Appends the mask to the includes when bInclude is non-zero, else to the excludes.
    void AddWildcard(const CString& mask, int bInclude);

    void SetSubDirs(int bInclSubDirs) { m_bInclSubDirs = bInclSubDirs; }
    int IsIncludeSubDirs() const { return m_bInclSubDirs; }
    void SetFilesStatus(int bSetFilesStatus) { m_bSetFilesStatus = bSetFilesStatus; }
    int IsSetFilesStatus() const { return m_bSetFilesStatus; }

    // Kept for hosts written against the single-folder record: the folders live in a list
    // now, so these answer an empty string and change nothing.
    CString GetRelativeDir() const { return CString(); }
    void SetRelativeDir(const CString&) {}

    // Trims blanks around every folder and mask; folders also get their trailing backslash.
    void Normalize();

    // Both flags as 4 bytes each, then the folders, includes and excludes as string arrays.
    void Serialize(CArchive& ar) override;
    // The flags as the attributes "InclSubDirs" and "SetFilesStatus", then the folders,
    // includes and excludes as "CStringArrayP" children marked by "ThisIs" ("RelativeDir",
    // "Include", "Exclude"). Loading looks at the first three children in any order and
    // leaves an array without its child as it was.
    void SerializeXML(CXMLNode& node, bool bStoring) override;

protected:
    CStringArray m_arrRelativeDirs;
    CStringArray m_arrInclude;
    CStringArray m_arrExclude;
    int m_bInclSubDirs;
    int m_bSetFilesStatus;

    friend class CMaskSpecArray;
};

// Reads an object of the class (or derived) through ReadObject; exported with the class.
KST_API CArchive& operator>>(CArchive& ar, CMaskSpec*& pOb);
