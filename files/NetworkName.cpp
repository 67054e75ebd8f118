// GetUNC: a path's network name, from the network provider (network mounts) or from the
// shares of this computer.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "KstFileService.h"
#include "KstTraceLog.h"
#include "KstWin32.h"
#include "internal/DriveTable.h"
#include "internal/Paths.h"
#include "internal/PathParts.h"
#include "internal/ShareEnum.h"

namespace kst::files {
namespace {

std::atomic<PFN_NetShareEnum> g_netShareEnumForTest{nullptr};

}  // namespace

PFN_NetShareEnum SetNetShareEnumForTest(PFN_NetShareEnum replacement) {
    return g_netShareEnumForTest.exchange(replacement);
}

PFN_NetShareEnum NetShareEnumForTest() {
    return g_netShareEnumForTest.load();
}

}  // namespace kst::files

namespace {

constexpr DWORD kUniversalNameBufferSize = 1000;

// A folder of this computer itself, not one behind a drive letter.
bool IsHostPath(const CString& path) {
    return !path.IsEmpty() && path[0] == '/';
}

// The share whose local folder begins the path. Candidates and keys are lower-cased.
class ShareMatcher {
public:
    ShareMatcher(const CString& path, bool preferLongest) : m_preferLongest(preferLongest) {
        m_keys.push_back(path);
        // A path on a mapped drive is also looked for under the drive's host folder, where
        // Samba's shares are.
        char letter = 0;
        if (kst::detail::HasDriveLetter(path.view(), &letter)) {
            auto drive = kst::detail::FindDrive(letter);
            auto host =
                drive && !drive->root.empty() ? kst::detail::HostPath(path.view()) : std::nullopt;
            if (host) {
                CString hostKey(*host);
                hostKey.MakeLower();
                m_keys.push_back(hostKey);
            }
        }
    }

    void Consider(CString candidate, const CString& name) {
        candidate.MakeLower();
        for (size_t key = 0; key < m_keys.size(); ++key) {
            if (!Begins(m_keys[key], candidate)) continue;
            if (m_preferLongest && candidate.GetLength() <= m_folder.GetLength()) return;
            m_folder = candidate;
            m_name = name;
            m_key = key;
            return;
        }
    }

    bool Found() const { return !m_folder.IsEmpty(); }
    const CString& Name() const { return m_name; }

    // The path after the share's folder and the one separator that follows it. Only a drive
    // root (c:\, three characters) ends in its separator; a host folder may too, as Samba
    // allows a trailing `/` in a share's path.
    CString Rest() const {
        const CString& key = m_keys[m_key];
        int skip = m_folder.GetLength();
        bool root = IsHostPath(m_folder) ? m_folder[skip - 1] == '/' : skip == 3;
        if (!root && key.GetLength() > skip) ++skip;
        CString rest = key.Mid(skip);
        if (IsHostPath(key)) rest.Replace('/', '\\');
        return rest;
    }

private:
    // Byte for byte, regardless of folder boundaries: c:\data also begins c:\database. An
    // empty folder (an interprocess share's) begins every path.
    static bool Begins(const CString& path, const CString& folder) {
        return path.view().substr(0, size_t(folder.GetLength())) == folder.view();
    }

    std::vector<CString> m_keys;
    bool m_preferLongest;
    CString m_folder, m_name;
    size_t m_key = 0;
};

bool UniversalNameOfMount(CString& path) {
    alignas(UNIVERSAL_NAME_INFOA) char buffer[kUniversalNameBufferSize];
    DWORD size = sizeof buffer;
    if (WNetGetUniversalNameA(path, UNIVERSAL_NAME_INFO_LEVEL, buffer, &size) != NO_ERROR)
        return false;
    path = reinterpret_cast<UNIVERSAL_NAME_INFOA*>(buffer)->lpUniversalName;
    return true;
}

CString FromWide(LMSTR text) {
    return text ? CString(text) : CString();
}

// NT family: netapi32's enumeration at level 502, batch after batch.
bool MatchNtShares(const char* server, bool checkSecurity, ShareMatcher& matcher) {
    HMODULE library = LoadLibraryA("netapi32.dll");
    if (!library) {
        CTraceLog_Trace("ERROR: CFileService::GetUNC(); Error load \"netapi32.dll\".\n");
        return false;
    }
    auto enumShares = kst::files::NetShareEnumForTest();
    if (!enumShares)
        enumShares = reinterpret_cast<PFN_NetShareEnum>(GetProcAddress(library, "NetShareEnum"));
    auto freeBuffer =
        reinterpret_cast<PFN_NetApiBufferFree>(GetProcAddress(library, "NetApiBufferFree"));
    if (!enumShares || !freeBuffer) return false;

    std::vector<WCHAR> wideServer;
    if (server) {
        int size = MultiByteToWideChar(CP_ACP, 0, server, -1, nullptr, 0);
        wideServer.resize(size_t(std::max(size, 1)));
        MultiByteToWideChar(CP_ACP, 0, server, -1, wideServer.data(), size);
    }
    DWORD resume = 0;
    NET_API_STATUS status;
    do {
        LPBYTE buffer = nullptr;
        DWORD read = 0, total = 0;
        status = enumShares(server ? wideServer.data() : nullptr, 502, &buffer,
                            MAX_PREFERRED_LENGTH, &read, &total, &resume);
        if (status != NERR_Success && status != ERROR_MORE_DATA) {
            if (buffer) freeBuffer(buffer);
            return false;
        }
        auto* records = reinterpret_cast<SHARE_INFO_502*>(buffer);
        for (DWORD i = 0; records && i < read; ++i) {
            if (checkSecurity && !IsValidSecurityDescriptor(records[i].shi502_security_descriptor))
                continue;
            matcher.Consider(FromWide(records[i].shi502_path), FromWide(records[i].shi502_netname));
        }
        if (buffer) freeBuffer(buffer);
        if (read == 0) break;  // more data promised but none given: do not spin
    } while (status == ERROR_MORE_DATA);
    return true;
}

// The older family: svrapi's enumeration at level 50 into a buffer of our own.
bool MatchWin9xShares(const char* server, ShareMatcher& matcher) {
    HMODULE library = LoadLibraryA("svrapi.dll");
    if (!library) {
        CTraceLog_Trace("ERROR: CFileService::GetUNC(); Error load \"svrapi.dll\".\n");
        return false;
    }
    auto enumShares = reinterpret_cast<PFN_NetShareEnum50>(GetProcAddress(library, "NetShareEnum"));
    if (!enumShares) return false;
    unsigned short read = 0, available = 0;
    enumShares(server, 50, nullptr, 0, &read, &available);
    // The buffer's size is a 16-bit number: a longer list is read as far as it fits.
    size_t count = std::min<size_t>(size_t(available) + 1, 0xFFFF / sizeof(share_info_50));
    std::vector<share_info_50> records(count);
    auto bytes = static_cast<unsigned short>(count * sizeof(share_info_50));
    unsigned status =
        enumShares(server, 50, reinterpret_cast<char*>(records.data()), bytes, &read, &available);
    if (status != NERR_Success && status != ERROR_MORE_DATA) return false;
    for (size_t i = 0; i < std::min<size_t>(read, count); ++i) {
        const share_info_50& record = records[i];
        CString name(record.shi50_netname, int(strnlen(record.shi50_netname, LM20_NNLEN + 1)));
        matcher.Consider(record.shi50_path ? CString(record.shi50_path) : CString(), name);
    }
    return true;
}

CString ComputerNameFor(const char* server) {
    if (server) return CString(server);  // as the caller wrote it, "\\pc1" included
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? CString(name) : CString();
}

}  // namespace

int CFileService::GetUNC(CString& path, int preferLongest, int checkSecurity, const char* server) {
    path.MakeLower();
    if (path.GetLength() >= MAX_PATH) return 0;  // beyond the runtime's limits
    if (UniversalNameOfMount(path)) return 1;

    ShareMatcher matcher(path, preferLongest != 0);
    bool olderFamily = (GetVersion() & 0x80000000u) != 0;
    bool listed = olderFamily ? MatchWin9xShares(server, matcher)
                              : MatchNtShares(server, checkSecurity != 0, matcher);
    if (!listed || !matcher.Found()) return 0;

    CString unc;
    unc.Format("\\\\%s\\%s\\%s", ComputerNameFor(server).c_str(), matcher.Name().c_str(),
               matcher.Rest().c_str());
    unc.MakeLower();
    path = unc;
    return 1;
}
