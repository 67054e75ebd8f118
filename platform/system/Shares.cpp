// The built-in share enumeration of "netapi32.dll" (level 502, wide texts, a buffer allocated
// by the call) and "svrapi.dll" (level 50, the caller's buffer).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "KstWin32Base.h"
#include "KstWin32System.h"
#include "internal/CodePage.h"
#include "internal/Identity.h"
#include "internal/Libraries.h"
#include "internal/Shares.h"

namespace kst::detail {
namespace {

struct ProviderState {
    std::mutex mutex;
    ShareProvider provider;
};

ProviderState& Provider() {
    static ProviderState* state = new ProviderState;
    return *state;
}

// Every share carries this descriptor: valid, with no owner and no access lists.
SECURITY_DESCRIPTOR g_shareDescriptor = {
    SECURITY_DESCRIPTOR_REVISION, 0, 0, nullptr, nullptr, nullptr, nullptr};

bool IsThisServer(std::string server) {
    while (!server.empty() && (server[0] == '\\' || server[0] == '/')) server.erase(0, 1);
    return server.empty() || server == "." || FoldCompare(server, ComputerName()) == 0 ||
           FoldCompare(server, "localhost") == 0;
}

size_t WideBytes(const std::u16string& text) {
    return (text.size() + 1) * sizeof(char16_t);
}

struct WideShare {
    std::u16string name, remark, path;
    DWORD type;
    size_t Bytes() const {
        return sizeof(SHARE_INFO_502) + WideBytes(name) + WideBytes(remark) + WideBytes(path) +
               sizeof(char16_t);
    }
};

LMSTR PlaceWide(char*& cursor, const std::u16string& text) {
    auto* place = reinterpret_cast<LMSTR>(cursor);
    std::memcpy(place, text.c_str(), WideBytes(text));
    cursor += WideBytes(text);
    return place;
}

// One allocation: the records, then their texts.
LPBYTE BuildBuffer502(const std::vector<WideShare>& shares) {
    size_t bytes = 0;
    for (const auto& share : shares) bytes += share.Bytes();
    auto* buffer = static_cast<char*>(std::calloc(1, std::max<size_t>(bytes, 1)));
    if (!buffer) return nullptr;
    auto* records = reinterpret_cast<SHARE_INFO_502*>(buffer);
    char* cursor = buffer + shares.size() * sizeof(SHARE_INFO_502);
    for (size_t i = 0; i < shares.size(); ++i) {
        SHARE_INFO_502& record = records[i];
        record.shi502_netname = PlaceWide(cursor, shares[i].name);
        record.shi502_type = shares[i].type;
        record.shi502_remark = PlaceWide(cursor, shares[i].remark);
        record.shi502_max_uses = DWORD(-1);
        record.shi502_path = PlaceWide(cursor, shares[i].path);
        record.shi502_passwd = PlaceWide(cursor, u"");
        record.shi502_security_descriptor = &g_shareDescriptor;
    }
    return reinterpret_cast<LPBYTE>(buffer);
}

NET_API_STATUS NetShareEnum502(LMSTR serverName, DWORD level, LPBYTE* buffer, DWORD prefMaxLen,
                               LPDWORD entriesRead, LPDWORD totalEntries, LPDWORD resumeHandle) {
    if (!buffer || !entriesRead || !totalEntries) return ERROR_INVALID_PARAMETER;
    *buffer = nullptr;
    *entriesRead = *totalEntries = 0;
    if (serverName && !IsThisServer(FromUtf16(serverName, AnsiCodePage())))
        return ERROR_BAD_NETPATH;
    if (level != 502) return ERROR_INVALID_LEVEL;
    auto shares = CurrentShares();
    size_t start = resumeHandle ? std::min<size_t>(*resumeHandle, shares.size()) : 0;
    std::vector<WideShare> batch;
    size_t bytes = 0;
    for (size_t i = start; i < shares.size(); ++i) {
        WideShare share{ToUtf16(shares[i].name, 0), ToUtf16(shares[i].remark, 0),
                        ToUtf16(shares[i].path, 0), shares[i].type};
        // At least one record per call, however small the preferred length.
        if (!batch.empty() && prefMaxLen != MAX_PREFERRED_LENGTH &&
            bytes + share.Bytes() > prefMaxLen)
            break;
        bytes += share.Bytes();
        batch.push_back(std::move(share));
    }
    *totalEntries = static_cast<DWORD>(shares.size() - start);
    *entriesRead = static_cast<DWORD>(batch.size());
    if (resumeHandle) *resumeHandle = static_cast<DWORD>(start + batch.size());
    if (!batch.empty() && !(*buffer = BuildBuffer502(batch))) {
        *entriesRead = 0;
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return start + batch.size() < shares.size() ? ERROR_MORE_DATA : NERR_Success;
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    std::free(buffer);
    return NERR_Success;
}

// Texts that the older family's records point to; kept per thread until its next call.
thread_local std::deque<std::string> t_texts50;

char* KeepText(const std::string& text) {
    t_texts50.push_back(text);
    return t_texts50.back().data();
}

unsigned NetShareEnum50(const char* serverName, short level, char* buffer,
                        unsigned short bufferSize, unsigned short* entriesRead,
                        unsigned short* totalAvailable) {
    if (!entriesRead || !totalAvailable) return ERROR_INVALID_PARAMETER;
    *entriesRead = *totalAvailable = 0;
    if (serverName && !IsThisServer(serverName)) return ERROR_BAD_NETPATH;
    if (level != 50) return ERROR_INVALID_LEVEL;
    auto shares = CurrentShares();
    size_t fit = buffer ? bufferSize / sizeof(share_info_50) : 0;
    size_t count = std::min({shares.size(), fit, size_t(0xFFFF)});
    t_texts50.clear();
    auto* records = reinterpret_cast<share_info_50*>(buffer);
    for (size_t i = 0; i < count; ++i) {
        share_info_50 record{};
        std::strncpy(record.shi50_netname, shares[i].name.c_str(), LM20_NNLEN);
        record.shi50_type = static_cast<unsigned char>(shares[i].type);
        record.shi50_remark = KeepText(shares[i].remark);
        record.shi50_path = KeepText(shares[i].path);
        std::memcpy(&records[i], &record, sizeof record);
    }
    *entriesRead = static_cast<unsigned short>(count);
    *totalAvailable = static_cast<unsigned short>(std::min<size_t>(shares.size(), 0xFFFF));
    return count < shares.size() ? ERROR_MORE_DATA : NERR_Success;
}

template <class F>
FARPROC ProcOf(F function) {
    return reinterpret_cast<FARPROC>(function);
}

}  // namespace

std::vector<ShareInfo> CurrentShares() {
    ShareProvider provider;
    {
        auto& state = Provider();
        std::lock_guard lock(state.mutex);
        provider = state.provider;
    }
    return provider ? provider() : SambaShares();
}

const ModuleExports& NetApi32Exports() {
    static const ModuleExports exports = {
        {"NetShareEnum", ProcOf(&NetShareEnum502)},
        {"NetApiBufferFree", ProcOf(&NetApiBufferFree)},
    };
    return exports;
}

const ModuleExports& SvrApiExports() {
    static const ModuleExports exports = {
        {"NetShareEnum", ProcOf(&NetShareEnum50)},
    };
    return exports;
}

}  // namespace kst::detail

namespace kst {

ShareProvider SetShareProvider(ShareProvider provider) {
    auto& state = detail::Provider();
    std::lock_guard lock(state.mutex);
    std::swap(state.provider, provider);
    return provider;
}

}  // namespace kst
