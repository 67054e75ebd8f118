// The private-profile calls: reads through the ini reader's parse, writes by editing only the
// lines of the key or section concerned.
#include "KstPrivateProfile.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "KstFile.h"
#include "KstWin32Base.h"
#include "internal/SharedIniFile.h"

namespace {

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Names match case-blind and without the blanks around them, as the system's calls match.
bool SameName(const CString& a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(Trimmed(a.str()).c_str()),
                    reinterpret_cast<const unsigned char*>(Trimmed(b).c_str())) == 0;
}

// The whole file, or false with the last error set; a missing file reads as empty when
// missingIsEmpty.
bool ReadWholeFile(const char* fileName, std::string& text, bool missingIsEmpty) {
    text.clear();
    CFile file;
    CFileException error;
    if (!file.Open(fileName, CFile::modeRead | CFile::shareDenyWrite, &error)) {
        bool missing = error.m_lOsError == ERROR_FILE_NOT_FOUND;
        SetLastError(static_cast<DWORD>(error.m_lOsError));
        return missing && missingIsEmpty;
    }
    try {
        text.resize(static_cast<size_t>(file.GetLength()));
        text.resize(file.Read(text.data(), static_cast<UINT>(text.size())));
    } catch (CFileException* e) {
        SetLastError(static_cast<DWORD>(e->m_lOsError));
        e->Delete();
        return false;
    }
    return true;
}

// The entries of the file as the ini reader parses them.
class Profile {
public:
    explicit Profile(const char* fileName) : m_ini(CString(fileName)) {
        m_ini.SetAutoSave(0);
        std::string text;
        if (ReadWholeFile(fileName, text, false)) m_ini.Parse(text.c_str());
    }

    const CSettings* Find(const char* section, const char* key) {
        for (int i = 0; i < m_ini.GetCount(); ++i) {
            m_entry = m_ini.GetAt(i);
            if (SameName(m_entry.m_strSection, section) && !m_entry.m_strKey.IsEmpty() &&
                SameName(m_entry.m_strKey, key))
                return &m_entry;
        }
        return nullptr;
    }

    // Section names (section null) or the keys of a section, once each, in file order.
    std::vector<CString> Names(const char* section) {
        std::vector<CString> names;
        for (int i = 0; i < m_ini.GetCount(); ++i) {
            CSettings entry = m_ini.GetAt(i);
            if (section && (!SameName(entry.m_strSection, section) || entry.m_strKey.IsEmpty()))
                continue;
            CString name(Trimmed((section ? entry.m_strKey : entry.m_strSection).str()).c_str());
            bool seen = false;
            for (const auto& known : names) seen = seen || SameName(known, name);
            if (!seen) names.push_back(name);
        }
        return names;
    }

private:
    CIniFile m_ini;
    CSettings m_entry;
};

DWORD CopyText(const std::string& text, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    DWORD n = static_cast<DWORD>(std::min<size_t>(text.size(), size - 1));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

// Zero-separated names ended by a second zero; cut lists still end with two zeros.
DWORD CopyList(const std::vector<CString>& names, LPSTR buffer, DWORD size) {
    if (!buffer || size == 0) return 0;
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    std::string list;
    for (const auto& name : names) list.append(name.c_str(), size_t(name.GetLength()) + 1);
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = buffer[size - 1] = '\0';
    return size - 2;
}

std::string Unquoted(const CString& raw) {
    std::string value = Trimmed(raw.str());
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

// ---- writing: the file as lines that keep their own ends ----

struct Line {
    std::string text;  // without its end
    std::string end;   // "\r\n", "\n", "\r" or "" for the last line
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find_first_of("\r\n", start);
        if (stop == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        size_t endLength = text.compare(stop, 2, "\r\n") == 0 ? 2 : 1;
        lines.push_back({text.substr(start, stop - start), text.substr(stop, endLength)});
        start = stop + endLength;
    }
    return lines;
}

// The section a header line opens, or false for other lines.
bool SectionOf(const std::string& line, std::string& name) {
    std::string text = Trimmed(line);
    if (text.size() < 2 || text.front() != '[') return false;
    size_t close = text.find(']');
    if (close == std::string::npos) return false;
    name = Trimmed(text.substr(1, close - 1));
    return true;
}

bool IsKeyLine(const std::string& line, const char* key) {
    size_t eq = line.find('=');
    return eq != std::string::npos && SameName(CString(Trimmed(line.substr(0, eq)).c_str()), key);
}

// Edits the lines: the section's [first, last) range is found first.
void EditLines(std::vector<Line>& lines, const char* section, const char* key, const char* value,
               const std::string& lineEnd) {
    size_t first = lines.size();
    size_t last = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string name;
        if (!SectionOf(lines[i].text, name)) continue;
        if (first == lines.size() && SameName(CString(name.c_str()), section)) {
            first = i;
        } else if (first != lines.size()) {
            last = i;
            break;
        }
    }
    if (!key) {  // remove the section with its header
        if (first != lines.size())
            lines.erase(lines.begin() + long(first), lines.begin() + long(last));
        return;
    }
    if (first == lines.size()) {
        if (!value) return;
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = lineEnd;
        lines.push_back({std::string("[") + section + "]", lineEnd});
        lines.push_back({std::string(key) + "=" + value, lineEnd});
        return;
    }
    size_t insertAt = first + 1;
    for (size_t i = first + 1; i < last; ++i) {
        if (IsKeyLine(lines[i].text, key)) {
            if (value)
                lines[i].text = std::string(key) + "=" + value;
            else
                lines.erase(lines.begin() + long(i));
            return;
        }
        if (!Trimmed(lines[i].text).empty()) insertAt = i + 1;
    }
    if (!value) return;
    if (lines[insertAt - 1].end.empty()) lines[insertAt - 1].end = lineEnd;
    lines.insert(lines.begin() + long(insertAt), {std::string(key) + "=" + value, lineEnd});
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                               LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
    Profile profile(lpFileName ? lpFileName : "");
    if (!lpAppName) return CopyList(profile.Names(nullptr), lpReturnedString, nSize);
    if (!lpKeyName) return CopyList(profile.Names(lpAppName), lpReturnedString, nSize);
    if (const CSettings* entry = profile.Find(lpAppName, lpKeyName))
        return CopyText(Unquoted(entry->m_strValue), lpReturnedString, nSize);
    std::string fallback = lpDefault ? lpDefault : "";
    fallback.erase(fallback.find_last_not_of(' ') + 1);
    return CopyText(fallback, lpReturnedString, nSize);
}

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, int nDefault, LPCSTR lpFileName) {
    if (!lpAppName || !lpKeyName) return static_cast<UINT>(nDefault);
    Profile profile(lpFileName ? lpFileName : "");
    const CSettings* entry = profile.Find(lpAppName, lpKeyName);
    if (!entry) return static_cast<UINT>(nDefault);
    return static_cast<UINT>(std::strtol(entry->m_strValue.c_str(), nullptr, 10));
}

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                                LPCSTR lpFileName) {
    if (!lpAppName || !lpFileName || !*lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string text;
    if (!ReadWholeFile(lpFileName, text, true)) return FALSE;
    std::vector<Line> lines = SplitLines(text);
    std::string lineEnd = "\r\n";
    for (const auto& line : lines)
        if (!line.end.empty()) {
            lineEnd = line.end;
            break;
        }
    EditLines(lines, lpAppName, lpKeyName, lpString, lineEnd);
    std::string out;
    for (const auto& line : lines) out += line.text + line.end;
    try {
        CFile file(lpFileName, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        file.Write(out.data(), static_cast<UINT>(out.size()));
        file.Close();
    } catch (CFileException* e) {
        SetLastError(static_cast<DWORD>(e->m_lOsError));
        e->Delete();
        return FALSE;
    }
    return TRUE;
}
