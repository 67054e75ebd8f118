// Shared internal header: the ini file reader and writer, which the message files of errors/
// read too. Ini-style text: "[section]" headers, key=value lines, ";" comments. A line ends at
// LF, at CR LF or at CR alone; the text reads the same whichever it uses, and Save writes the
// line end the text was read with (CR LF for a new file).
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
    // Saves the entries back to the file when SetValue changed them, unless SetAutoSave(0)
    // was called. Reading (Read, Parse) never writes the file.
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
    // A copy of the entry (empty past the end). Walking the indexes upwards costs one step
    // each: the walk goes on from the entry asked for last.
    CSettings GetAt(int index) const;

    // Sets the value of the first entry of SECTION with KEY (case counts), or appends the
    // entry; the destructor then writes the file back (see SetAutoSave).
    void SetValue(const CString& section, const CString& key, const CString& value);

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
    bool m_bChanged = false;             // by SetValue since the object was made
    const char* m_pszLineEnd = nullptr;  // of the first text read; none yet: CR LF
    CList<CSettings, const CSettings&> m_list{10};
    mutable int m_nLastIndex = 0;
    mutable POSITION m_lastPos = nullptr;
};
