// The ini parse: line ends first, then block after block from one "[" to the next.
#include <climits>
#include <utility>

#include "internal/SharedIniFile.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// The line end of the first line of TEXT, or null when the text is one line.
const char* FirstLineEnd(std::string_view text) {
    size_t at = text.find_first_of("\r\n");
    if (at == npos) return nullptr;
    if (text[at] == '\n') return "\n";
    return at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
}

// The parse below knows CR LF only: every LF and CR alone becomes CR LF.
void MakeLineEndsCrLf(std::string& text) {
    size_t at = text.find_first_of("\r\n");
    for (;; at = text.find_first_of("\r\n", at + 2)) {
        if (at == npos) return;
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') continue;
        break;
    }
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    out.append(text, 0, at);
    for (size_t i = at; i < text.size(); ++i) {
        char ch = text[i];
        if (ch == '\r' || ch == '\n') {
            out += "\r\n";
            if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += ch;
        }
    }
    text.swap(out);
}

bool IsTrailingFiller(char ch) {
    return ch == ' ' || ch == '\t' || ch == ';';
}

void ExpandLineFeeds(CString& value) {
    if (value.Find('\\') >= 0) value.Replace("\\n", "\n");
}

}  // namespace

void CIniFile::Parse(const char* text) {
    if (text) ParseText(std::string(text));
}

void CIniFile::ParseText(std::string text) {
    if (text.size() >= static_cast<size_t>(INT_MAX) / 2) return;  // positions are ints
    if (!m_pszLineEnd) m_pszLineEnd = FirstLineEnd(text);
    MakeLineEndsCrLf(text);
    std::string_view view(text);
    std::string_view block;
    int pos = 0;
    int end = 0;
    if (!GetNextSection(view, block, pos, end)) return;
    int skipped = 0;
    CString lastName;
    for (;;) {
        CString name;
        if (!GetSectionName(block, name)) return;
        if (name.IsEmpty()) {
            // The first block without a name is dropped; later ones continue the section
            // read before them.
            if (skipped == 0 || lastName.IsEmpty()) {
                if (!GetNextSection(view, block, pos, end)) return;
                ++skipped;
                continue;
            }
            name = lastName;
        }
        ReadPairs(block, name);
        if (!GetNextSection(view, block, pos, end)) return;
        lastName = name;
    }
}

void CIniFile::ReadPairs(std::string_view block, const CString& section) {
    int before = m_list.GetCount();
    CString key;
    CString value;
    while (GetKeyValue(block, key, value)) {
        SkipBlanks(key);
        if (!key.IsEmpty() && key[0] == ';') continue;
        ExpandLineFeeds(value);
        // Filled in place: the list would copy a finished entry once more.
        CSettings& entry = m_list.GetAt(m_list.AddTail(CSettings()));
        entry.m_strSection = section;
        entry.m_strKey = std::move(key);
        entry.m_strValue = std::move(value);
    }
    if (m_list.GetCount() == before) m_list.AddTail(CSettings(section, CString(), CString()));
}

BOOL CIniFile::GetNextSection(std::string_view text, std::string_view& block, int& pos, int& end) {
    if (pos < 0 || static_cast<size_t>(pos) > text.size()) return FALSE;
    size_t from = static_cast<size_t>(pos);
    size_t bracket = text.find('[', from);
    if (bracket == npos) return FALSE;
    // Only a ";" between the position and the "[" matters, so the search stops at the "[":
    // searching the whole rest of the text for every block would make the parse quadratic.
    size_t semicolon = text.substr(from, bracket - from).find(';');
    size_t start = semicolon == npos ? bracket : from + semicolon;
    size_t next = text.find('[', bracket + 1);
    size_t blockEnd = next == npos ? text.size() : next;
    size_t trimmedEnd = blockEnd;
    while (trimmedEnd > start && IsTrailingFiller(text[trimmedEnd - 1])) --trimmedEnd;
    block = text.substr(start, trimmedEnd - start);
    pos = static_cast<int>(trimmedEnd);
    end = static_cast<int>(blockEnd);
    return TRUE;
}

BOOL CIniFile::GetSectionName(std::string_view block, CString& name) {
    size_t open = block.find('[');
    if (open == npos) return FALSE;
    bool commentedOut = open > 0 && block.substr(0, open).find(';') != npos;
    size_t close = block.find(']', open + 1);
    if (close == npos) return FALSE;
    if (commentedOut)
        name.Empty();
    else
        name = CString(block.substr(open + 1, close - open - 1));
    m_nPos = static_cast<int>(close + 1);
    return TRUE;
}

BOOL CIniFile::GetKeyValue(std::string_view block, CString& key, CString& value) {
    m_nPos += 2;  // past the CR LF that ends the header or the previous pair
    if (m_nPos < 0 || static_cast<size_t>(m_nPos) >= block.size()) return FALSE;
    size_t from = static_cast<size_t>(m_nPos);
    size_t equals = block.find('=', from);
    if (equals == npos) return FALSE;
    std::string_view keyText = block.substr(from, equals - from);
    size_t lineEnd = keyText.rfind("\r\n");  // lines without "=" before the key are skipped
    if (lineEnd != npos) keyText.remove_prefix(lineEnd + 2);
    size_t cr = block.find('\r', equals + 1);
    size_t valueEnd = cr == npos ? block.size() : cr;
    key = CString(keyText);
    value = CString(block.substr(equals + 1, valueEnd - equals - 1));
    m_nPos = static_cast<int>(valueEnd);
    return TRUE;
}

void CIniFile::SkipBlanks(CString& key) {
    key.TrimLeft(" \t");
}
