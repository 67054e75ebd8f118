// CMaskSpecArray: a list of mask specs under one base folder, which it owns. It
// converts between the list and the simple choice that dialogs offer (include masks, exclude
// masks, all or chosen subfolders, masks applied there too or not) in both directions.
// It has no runtime class of its own: its archive and XML forms and its equality are the
// owning array's and leave the base folder out.
#pragma once

#include "KstCollections.h"
#include "KstExport.h"
#include "KstMaskSpec.h"
#include "KstObjectPArrayPtr.h"
#include "KstString.h"

class KST_API CMaskSpecArray : public CObjectPArrayPtr {
public:
    CMaskSpecArray() = default;
    // The base folder gets a trailing backslash when not empty and lacking one.
    explicit CMaskSpecArray(const CString& baseDir);
    // Elements are copied as new objects; the base folder is copied too.
    CMaskSpecArray(const CMaskSpecArray& src);
    ~CMaskSpecArray() override;
    CMaskSpecArray& operator=(const CMaskSpecArray& src);
    using CObjectPArrayPtr::operator=;

    CString GetBaseDir() const { return m_strBaseDir; }
    // Stored as given, without adding a backslash.
    void SetBaseDir(const CString& baseDir) { m_strBaseDir = baseDir; }

    // The element as a mask spec; null for an empty slot or an object of another class.
    CMaskSpec* GetMaskAt(int nIndex) const;

    // Appends a new mask spec built by CMaskSpec's five-argument constructor, so its
    // folders end in a backslash even where the given ones did not.
    void AddMask(const CStringArray& dirs, const CStringArray& include, const CStringArray& exclude,
                 int inclSubDirs, int setFilesStatus);
    void AddMask(const CMaskSpec& spec);

    // Appends the list form of a simple choice (the list is not emptied first); answers 1.
    int ConvertFromSimple(const CStringArray& include, const CStringArray& exclude, int allSubDirs,
                          const CStringArray& subDirs, int masksInSubDirs);
    // Fills the simple choice from the list; include and exclude are emptied first, folders
    // are appended to subDirs. Answers 1 when the list is exactly representable in the
    // simple form, else 0 (the outputs are filled all the same).
    int ConvertToSimple(CStringArray& include, CStringArray& exclude, int& allSubDirs,
                        CStringArray& subDirs, int& masksInSubDirs) const;

protected:
    CString m_strBaseDir;
};
