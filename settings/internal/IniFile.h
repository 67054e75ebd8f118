// Ini-style text: "[section]" headers, key=value lines, ";" comments, CR LF line ends.
// The entries keep the order they were read in until Sort or Save orders them.
#pragma once

#include <string>
#include <string_view>

#include "KstCollTempl.h"
#include "KstCollections.h"
#include "KstExport.h"
#include "KstString.h"
#include "internal/Settings.h"

class KST_INTERNAL CIniFile {
public:
    // Works on "options.ini".
    CIniFile();
    // An empty name means "options.ini"; a name without a full stop gets ".ini" appended.
    explicit CIniFile(const CString& name);
    // Saves the entries back to the file unless SetAutoSave(0) was called.
    virtual ~CIniFile();
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    void SetAutoSave(int on) { m_bAutoSave = on; }
    const CString& GetFileName() const { return m_strFileName; }

    // Reads the whole file and parses it; 1 when the list then holds any entry.
    int Read();
    // Appends the entries of the text (up to its first zero byte) to the list.
    void Parse(const char* text);

    int GetCount() const { return m_list.GetCount(); }
    CSettings GetAt(int index) const;

    // By section, then key, both folding case in the ANSI code page.
    void Sort();
    // Sorts and rewrites the file; 0 when it cannot be created or written.
    int Save();
    // Stores every entry under "section.key" (the bare key outside any section).
    void FillMap(CMapStringToString& map) const;

protected:
    // The parsing steps; positions are offsets into the text or the block.
    BOOL GetNextSection(std::string_view text, std::string_view& block, int& pos, int& end);
    BOOL GetSectionName(std::string_view block, CString& name);
    BOOL GetKeyValue(std::string_view block, CString& key, CString& value);
    static void SkipBlanks(CString& key);

private:
    void ParseText(std::string text);
    void ReadPairs(std::string_view block, const CString& section);
    std::string SavedText() const;

    int m_nPos = 0;
    CString m_strFileName;
    int m_bAutoSave = 1;
    CList<CSettings, const CSettings&> m_list{10};
};
