// CFileLockMarker: appending, reading and removing info blocks of a marker file. The marker
// stays open with exclusive sharing for the whole of each operation (see the header).
#include <string>

#include "KstFile.h"
#include "KstFileLockMarker.h"
#include "KstFileService.h"
#include "KstScalarP.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "internal/SharedPathHelpers.h"

namespace {

constexpr UINT kAppendFlags =
    CFile::modeReadWrite | CFile::shareExclusive | CFile::modeCreate | CFile::modeNoTruncate;
constexpr UINT kRewriteFlags = CFile::modeReadWrite | CFile::shareExclusive;

// A decimal number as the runtime reads one: blanks, a sign, digits; 0 without digits.
__time64_t ParseSeconds(const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + uint64_t(*p - '0');
    return static_cast<__time64_t>(negative ? 0u - value : value);
}

// The next block into set. atEnd tells the end of the file from a run of lines that held no
// property, after which further blocks may follow.
int ReadBlock(CStdioFile& file, CPropertySet& set, bool& atEnd) {
    set.Clear();
    CString line;
    do {
        if (!file.ReadString(line)) {
            atEnd = true;
            return 0;
        }
    } while (line.IsEmpty());
    do {
        int equals = line.Find('=');
        if (equals <= 0) continue;
        CString key = line.Left(equals);
        if (equals == 4 && key.CompareNoCase(CFileLockMarker::KeyTime) == 0)
            set.SetAt(CFileLockMarker::KeyTime,
                      new CTimeP(CTime(ParseSeconds(line.c_str() + equals + 1))));
        else
            set.SetAt(key, line.Mid(equals + 1));
    } while (file.ReadString(line) && !line.IsEmpty());
    return set.GetCount() > 0;
}

// The last bytes of the file (up to 4) as they are on disk, read without moving the position.
std::string Tail(CFile& file, ULONGLONG length) {
    char tail[4];
    DWORD n = static_cast<DWORD>(length < 4 ? length : 4), done = 0;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(length - n);
    at.OffsetHigh = static_cast<DWORD>((length - n) >> 32);
    if (!ReadFile(file.m_hFile, tail, n, &done, &at))
        CFileException::ThrowOsError(LONG(GetLastError()));
    return std::string(tail, done);
}

// The string under key, added empty when the set lacks it.
CString StringOf(CPropertySet& set, const CString& key) {
    CStringP* value = set.GetAt(key, CStringP());
    return value ? CString(*value) : CString();
}

// The block of set as WriteInfoBlock writes it, adding to set the keys it lacks.
CString FormatBlock(CPropertySet& set) {
    CString mode = StringOf(set, CFileLockMarker::KeyMode);
    CString user = StringOf(set, CFileLockMarker::KeyUser);
    CString server = StringOf(set, CFileLockMarker::KeyServer);
    CString client = StringOf(set, CFileLockMarker::KeyClient);
    CTimeP* time = nullptr;
    if (!set.Lookup(CFileLockMarker::KeyTime, time) || !time)
        time = set.GetAt(CFileLockMarker::KeyTime, CTimeP(CTime::GetCurrentTime()));
    CString block;
    block.Format("Mode=%s\nUser=%s\nServer=%s\nClient=%s\nTime=%lld\n\n", mode.c_str(),
                 user.c_str(), server.c_str(), client.c_str(),
                 static_cast<long long>(time ? time->GetTime() : 0));
    return block;
}

}  // namespace

CFileLockMarker::CFileLockMarker(const CFileLockMarker& src)
    : CPropertySet(src), m_bLock(src.m_bLock), m_strFilePath(src.m_strFilePath) {}

CFileLockMarker& CFileLockMarker::operator=(const CFileLockMarker& src) {
    CPropertySet::operator=(src);
    m_bLock = src.m_bLock;
    m_strFilePath = src.m_strFilePath;
    return *this;
}

CString CFileLockMarker::GenerateMarkerPath() {
    // Without a file there is no marker: the bare name ".~" would land in the current folder.
    if (m_strFilePath.IsEmpty()) return CString();
    CString ext = CFileService::GetExt(m_strFilePath);
    return CFileService::ChangeExt(m_strFilePath, "~" + ext.Mid(1));
}

int CFileLockMarker::ReadInfoBlock(CStdioFile& file, CPropertySet& set) {
    bool atEnd = false;
    return ReadBlock(file, set, atEnd);
}

int CFileLockMarker::WriteInfoBlock(CStdioFile& file, CPropertySet& set) {
    file.WriteString(FormatBlock(set));
    return 1;
}

CFileLockMarker::Result_t CFileLockMarker::Lock() {
    CString path = GenerateMarkerPath();
    CStdioFile marker;
    CFileException error;
    if (path.IsEmpty() || !marker.Open(path, kAppendFlags, &error)) return rMarkerFailed;
    ULONGLONG end = 0;
    try {
        end = marker.SeekToEnd();
        // A marker written by hand may not end with an empty line: end its last block first,
        // or this block would join it.
        if (end) {
            std::string last = Tail(marker, end);
            if (!last.ends_with("\n\r\n") && !last.ends_with("\n\n"))
                marker.WriteString(last.ends_with('\n') ? "\n" : "\n\n");
        }
        WriteInfoBlock(marker, *this);
        marker.Close();
    } catch (CException* e) {
        e->Delete();
        // Take back what part of the block was written, and a marker this call made.
        try {
            marker.Abort();
            if (marker.Open(path, kRewriteFlags)) {
                if (end == 0)
                    DeleteFileA(path);
                else
                    marker.SetLength(end);
                marker.Close();
            }
        } catch (CException* again) {
            again->Delete();
            marker.Abort();
        }
        return rMarkerFailed;
    }
    m_bLock = 1;
    return rOK;
}

CFileLockMarker::Result_t CFileLockMarker::UnLock() {
    CString path = GenerateMarkerPath();
    CStdioFile marker;
    CFileException error;
    if (path.IsEmpty()) return rMarkerFailed;
    if (!marker.Open(path, kRewriteFlags, &error)) {
        // A marker that can be read but not written: the others' blocks could not go back.
        bool readable = error.m_cause == CFileException::accessDenied &&
                        marker.Open(path, CFile::modeRead | CFile::shareExclusive);
        marker.Abort();
        return readable ? rTempFailed : rMarkerFailed;
    }
    // The others' blocks, as WriteInfoBlock writes them.
    CString kept;
    try {
        CPropertySet block;
        for (bool atEnd = false; !atEnd;)
            if (ReadBlock(marker, block, atEnd) && Own() != block) kept += FormatBlock(block);
    } catch (CException* e) {
        e->Delete();
        marker.Abort();
        return rMarkerFailed;
    }
    try {
        // Still holding the marker: a Lock waiting for it finds the result, or no marker.
        if (kept.IsEmpty() && DeleteFileA(path)) {
            marker.Abort();
        } else {
            marker.SeekToBegin();
            marker.WriteString(kept);
            marker.Flush();
            if (!SetEndOfFile(marker.m_hFile)) CFileException::ThrowOsError(LONG(GetLastError()));
            marker.Close();
        }
    } catch (CException* e) {
        e->Delete();
        marker.Abort();
        return rTempFailed;
    }
    m_bLock = 0;
    return rOK;
}

int CFileLockMarker::IsLock() {
    if (m_strFilePath.IsEmpty()) m_bLock = 0;
    return m_bLock;
}

int CFileLockMarker::MoveMarker(const CString& path) {
    if (!IsLock()) return 0;
    if (IsSameDir(path, m_strFilePath)) return 1;
    CString oldMarker = GenerateMarkerPath();
    CString oldPath = m_strFilePath;
    m_strFilePath = path;
    CString newMarker = GenerateMarkerPath();
    BOOL moved = !newMarker.IsEmpty() && MoveFileA(oldMarker, newMarker);
    if (!moved) m_strFilePath = oldPath;
    return moved ? 1 : 0;
}
