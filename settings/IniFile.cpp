// CIniFile: the file behind the entries, their order, and their map form.
#include <algorithm>
#include <climits>
#include <vector>

#include "KstFile.h"
#include "internal/SharedIniFile.h"

namespace {

const char kDefaultFileName[] = "options.ini";

CString FileNameFor(const CString& name) {
    if (name.IsEmpty()) return CString(kDefaultFileName);
    if (name.Find('.') >= 0) return name;
    CString fileName;
    fileName.Format("%s.ini", name.c_str());
    return fileName;
}

int CompareNoCase(const CString& a, const CString& b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b.c_str()));
}

bool SortsBefore(const CSettings& a, const CSettings& b) {
    int bySection = CompareNoCase(a.m_strSection, b.m_strSection);
    if (bySection != 0) return bySection < 0;
    return CompareNoCase(a.m_strKey, b.m_strKey) < 0;
}

void AppendPair(std::string& out, const CSettings& entry, const char* lineEnd) {
    out += entry.m_strKey.view();
    out += '=';
    out += entry.m_strValue.view();
    out += lineEnd;
}

}  // namespace

CIniFile::CIniFile() : m_strFileName(kDefaultFileName) {}

CIniFile::CIniFile(const CString& name) : m_strFileName(FileNameFor(name)) {}

CIniFile::~CIniFile() {
    if (m_bAutoSave && m_bChanged) Save();
    m_list.RemoveAll();
}

CSettings CIniFile::GetAt(int index) const {
    POSITION pos = nullptr;
    if (m_lastPos && index >= m_nLastIndex && index < m_list.GetCount()) {
        pos = m_lastPos;  // entries are only ever appended: the position stays valid
        for (int i = m_nLastIndex; i < index; ++i) m_list.GetNext(pos);
    } else {
        pos = m_list.FindIndex(index);
    }
    if (!pos) return CSettings();
    m_nLastIndex = index;
    m_lastPos = pos;
    return m_list.GetAt(pos);
}

void CIniFile::SetValue(const CString& section, const CString& key, const CString& value) {
    m_bChanged = true;
    for (POSITION pos = m_list.GetHeadPosition(); pos;) {
        CSettings& entry = m_list.GetNext(pos);
        if (entry.m_strSection == section && entry.m_strKey == key) {
            entry.m_strValue = value;
            return;
        }
    }
    m_list.AddTail(CSettings(section, key, value));
}

int CIniFile::Read() {
    std::string text;
    try {
        CFile file;
        // Deny writers only: any number of processes read the same texts at once.
        if (!file.Open(m_strFileName, CFile::modeRead | CFile::shareDenyWrite, nullptr)) return 0;
        ULONGLONG length = file.GetLength();
        if (length == 0 || length >= static_cast<ULONGLONG>(INT_MAX) / 2) return 0;
        text.resize(static_cast<size_t>(length));
        size_t got = 0;
        while (got < text.size()) {
            UINT step = file.Read(text.data() + got, static_cast<UINT>(text.size() - got));
            if (step == 0) break;  // the file shrank meanwhile
            got += step;
        }
        text.resize(got);
        file.Close();
    } catch (CException* e) {
        e->Delete();
        return 0;
    }
    // The text ends at its first zero byte, as every text handed to Parse does.
    text.resize(std::min(text.size(), text.find('\0')));
    ParseText(std::move(text));
    return m_list.GetCount() > 0 ? 1 : 0;
}

void CIniFile::Sort() {
    if (m_list.GetCount() < 2) return;
    // Indexes are sorted rather than the entries, and the values then move back into the
    // list's own nodes: a large file sorts without copying or reallocating its entries.
    std::vector<CSettings> entries;
    entries.reserve(static_cast<size_t>(m_list.GetCount()));
    for (POSITION pos = m_list.GetHeadPosition(); pos;)
        entries.push_back(std::move(m_list.GetNext(pos)));
    std::vector<size_t> order(entries.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto before = [&entries](size_t a, size_t b) { return SortsBefore(entries[a], entries[b]); };
    if (!std::is_sorted(order.begin(), order.end(), before))
        std::stable_sort(order.begin(), order.end(), before);
    size_t next = 0;
    for (POSITION pos = m_list.GetHeadPosition(); pos;)
        m_list.GetNext(pos) = std::move(entries[order[next++]]);
}

std::string CIniFile::SavedText() const {
    const char* lineEnd = m_pszLineEnd ? m_pszLineEnd : "\r\n";
    std::string out;
    CString lastSection;
    bool first = true;
    for (POSITION pos = m_list.GetHeadPosition(); pos;) {
        const CSettings& entry = m_list.GetNext(pos);
        // Headers change on an exact comparison, so "A" and "a" get a header each although
        // they sort together.
        if (_mbscmp(reinterpret_cast<const unsigned char*>(entry.m_strSection.c_str()),
                    reinterpret_cast<const unsigned char*>(lastSection.c_str())) != 0) {
            if (!first) out += lineEnd;
            out += '[';
            out += entry.m_strSection.view();
            out += ']';
            out += lineEnd;
            lastSection = entry.m_strSection;
        }
        AppendPair(out, entry, lineEnd);
        first = false;
    }
    return out;
}

int CIniFile::Save() {
    Sort();
    std::string text = SavedText();
    try {
        CFile file;
        if (!file.Open(m_strFileName, CFile::modeCreate | CFile::modeWrite, nullptr)) return 0;
        if (!text.empty()) file.Write(text.data(), static_cast<UINT>(text.size()));
        file.Close();
    } catch (CException* e) {
        // A write that fails half-way (a full disk) reports 0 like a file that cannot be
        // created; the destructor must not throw either way.
        e->Delete();
        return 0;
    }
    return 1;
}

void CIniFile::FillMap(CMapStringToString& map) const {
    for (POSITION pos = m_list.GetHeadPosition(); pos;) {
        const CSettings& entry = m_list.GetNext(pos);
        if (entry.m_strSection.IsEmpty())
            map.SetAt(entry.m_strKey, entry.m_strValue);
        else
            map.SetAt(entry.m_strSection + "." + entry.m_strKey, entry.m_strValue);
    }
}
