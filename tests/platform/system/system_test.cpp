// Identity, system texts, resources, network names and share enumeration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "KstPlatform.h"
#include "KstPlatformShares.h"
#include "KstTest.h"
#include "KstWin32Base.h"
#include "KstWin32Files.h"
#include "KstWin32System.h"
#include "platform/system/internal/Errno.h"
#include "platform/system/internal/Libraries.h"
#include "platform/system/internal/MountTable.h"
#include "platform/system/internal/Shares.h"

TEST(Identity, ComputerNameCapacity) {
    kst::SetComputerName("WORKSTATION7");
    char name[16];
    // Twelve characters: 12 bytes leave no room for the zero; the size needed includes it.
    DWORD size = 12;
    EXPECT_FALSE(GetComputerNameA(name, &size));
    EXPECT_EQ(std::pair(GetLastError(), size), std::pair(DWORD(ERROR_BUFFER_OVERFLOW), DWORD(13)));
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(std::string(name, size), "WORKSTATION7");

    kst::SetComputerName("");
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    std::string expected(host, std::strcspn(host, "."));
    for (char& ch : expected) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    size = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &size));
    EXPECT_EQ(name, expected.substr(0, 15));
}

TEST(Identity, VersionFamilyProcessAndTokens) {
    EXPECT_EQ(GetVersion() & 0x80000000u, 0u);
    kst::SetPlatformFamily(kst::PlatformFamily::Win9x);
    EXPECT_NE(GetVersion() & 0x80000000u, 0u);
    kst::SetPlatformFamily(kst::PlatformFamily::NT);

    // The trace log's steps: no token, impersonate self, open, revert, put the token back.
    HANDLE token = nullptr;
    EXPECT_TRUE(RevertToSelf());  // the module's first trace line left the thread's token set
    EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), 6, FALSE, &token));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_TOKEN));
    ASSERT_TRUE(ImpersonateSelf(SecurityImpersonation) &&
                OpenThreadToken(GetCurrentThread(), 6, FALSE, &token));
    EXPECT_TRUE(RevertToSelf() && SetThreadToken(nullptr, token) && CloseHandle(token) &&
                SetThreadToken(nullptr, nullptr));
}

TEST(SystemMessages, KnownCodesHaveTextsOthersFail) {
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, ERROR_FILE_NOT_FOUND, 0x400, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text, length), "The system cannot find the file specified.\r\n");
    LocalFree(text);

    char buffer[16];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_SHARING_VIOLATION, 0,
                             buffer, sizeof buffer, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    text = nullptr;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             12345, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(std::pair(text, GetLastError()),
              std::pair((char*)nullptr, DWORD(ERROR_MR_MID_NOT_FOUND)));
}

// Callers show the system's text for whatever code a failed call left; every code the layer
// sets has one.
TEST(SystemMessages, EveryCodeTheLayerSetsHasAText) {
    std::vector<DWORD> codes = {ERROR_SIGNAL_REFUSED, ERROR_INVALID_WINDOW_HANDLE,
                                ERROR_SEM_TIMEOUT,    ERROR_NEGATIVE_SEEK,
                                ERROR_BROKEN_PIPE,    ERROR_INSUFFICIENT_BUFFER};
    for (int err = 0; err < 134; ++err) codes.push_back(kst::detail::SystemErrorFromErrno(err));
    char buffer[256];
    for (DWORD code : codes)
        EXPECT_NE(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, buffer, sizeof buffer, nullptr),
                  0u)
            << code;
}

TEST(Resources, RegisteredByTheHostAndTheStringTable) {
    kst::RegisterResource("LANGUAGE", 101, "[Section]\nKey=Value\n");
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCE(101), "Language");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FindResourceA(nullptr, "#101", "LANGUAGE"), found);
    HGLOBAL loaded = LoadResource(nullptr, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    EXPECT_EQ(std::string(data, SizeofResource(nullptr, found)), "[Section]\nKey=Value\n");
    kst::RegisterResource("LANGUAGE", 101, "replaced");
    EXPECT_EQ(std::string(data, 9), "[Section]") << "a locked resource stays valid";
    HRSRC again = FindResourceA(nullptr, MAKEINTRESOURCE(101), "LANGUAGE");
    EXPECT_EQ(SizeofResource(nullptr, again), 8u);
    EXPECT_EQ(FindResourceA(nullptr, MAKEINTRESOURCE(102), "LANGUAGE"), nullptr);
    char text[256];
    EXPECT_TRUE(LoadStringA(nullptr, 1, text, sizeof text) > 0 &&
                LoadStringA(nullptr, 999, text, sizeof text) == 0);
}

TEST(Network, UniversalNamesFromTheMountTable) {
    std::string table = ksttest::ScratchDir() + "/mountinfo";
    ksttest::WriteFile(table,
                       "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                       "40 22 0:50 / /mnt/Office rw - cifs //fileserver/office rw\n"
                       "42 22 0:52 / /mnt/nfs rw - nfs4 server:/export rw\n");
    kst::detail::SetMountTablePath(table);
    char buffer[1000];
    DWORD size = sizeof buffer;
    ASSERT_EQ(
        WNetGetUniversalNameA("/mnt/office/docs/a.txt", UNIVERSAL_NAME_INFO_LEVEL, buffer, &size),
        DWORD(NO_ERROR));
    auto* info = reinterpret_cast<UNIVERSAL_NAME_INFOA*>(buffer);
    EXPECT_STREQ(info->lpUniversalName, "\\\\fileserver\\office\\docs\\a.txt");
    size = sizeof buffer;
    EXPECT_EQ(WNetGetUniversalNameA("/mnt/nfs/x", UNIVERSAL_NAME_INFO_LEVEL, buffer, &size),
              DWORD(ERROR_NOT_CONNECTED));
    size = 10;
    EXPECT_EQ(WNetGetUniversalNameA("/mnt/Office/a", UNIVERSAL_NAME_INFO_LEVEL, buffer, &size),
              DWORD(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof(UNIVERSAL_NAME_INFOA) + 22);
    EXPECT_EQ(GetDriveTypeA("/mnt/office"), DRIVE_NO_ROOT_DIR) << "not a folder here";
    kst::detail::SetMountTablePath("");
}

TEST(Shares, SambaConfigurationAndUserShares) {
    std::string dir = ksttest::ScratchDir();
    ksttest::WriteFile(dir + "/smb.conf",
                       "[global]\n   workgroup = WG\n   path = /ignored\n"
                       "; a comment\n[Docs]\n   comment = Documents\n   Path = /srv/docs\n"
                       "[homes]\n   browseable = no\n"
                       "[printers]\n   path = /var/spool/samba\n   printable = yes\n"
                       "[long]\n   directory = /srv/a\\\n/b\n");
    std::filesystem::create_directories(dir + "/usershares");
    ksttest::WriteFile(dir + "/usershares/music",
                       "#VERSION 2\npath=/home/u/Music\ncomment=\nsharename=Music\n");
    std::vector<std::string> shares;
    for (const auto& share : kst::detail::ReadSambaShares(dir + "/smb.conf", dir + "/usershares"))
        shares.push_back(share.name + "|" + share.path + "|" + share.remark + "|" +
                         std::to_string(share.type));
    // The printers' queue and a value continued on the next line.
    EXPECT_EQ(shares, (std::vector<std::string>{"Docs|/srv/docs|Documents|0",
                                                "printers|/var/spool/samba||1", "long|/srv/a/b||0",
                                                "Music|/home/u/Music||0"}));
}

TEST(Shares, NetShareEnumOfBothFamiliesThroughLoadLibrary) {
    auto previous = kst::SetShareProvider([] {
        return std::vector<kst::ShareInfo>{{"docs", "/srv/docs", "Documents", STYPE_DISKTREE},
                                           {"IPC$", "", "Remote IPC", STYPE_IPC}};
    });
    HMODULE netapi = LoadLibraryA("netapi32.dll");
    ASSERT_NE(netapi, nullptr);
    auto shareEnum = reinterpret_cast<PFN_NetShareEnum>(GetProcAddress(netapi, "NetShareEnum"));
    auto bufferFree =
        reinterpret_cast<PFN_NetApiBufferFree>(GetProcAddress(netapi, "NetApiBufferFree"));
    ASSERT_TRUE(shareEnum && bufferFree);
    EXPECT_EQ(GetProcAddress(netapi, "NoSuchCall"), nullptr);
    LPBYTE buffer = nullptr;
    DWORD read = 0, total = 0, resume = 0;
    ASSERT_EQ(shareEnum(nullptr, 502, &buffer, MAX_PREFERRED_LENGTH, &read, &total, &resume),
              DWORD(NERR_Success));
    ASSERT_EQ(read, 2u);
    auto* records = reinterpret_cast<SHARE_INFO_502*>(buffer);
    EXPECT_EQ(std::u16string(records[0].shi502_netname) + u"|" + records[0].shi502_path + u"|" +
                  records[1].shi502_path,
              u"docs|/srv/docs|");
    EXPECT_TRUE(IsValidSecurityDescriptor(records[0].shi502_security_descriptor));
    bufferFree(buffer);
    // A small preferred length gives one record a call and ERROR_MORE_DATA until the last.
    resume = 0;
    for (DWORD expected : {DWORD(ERROR_MORE_DATA), DWORD(NERR_Success)}) {
        EXPECT_EQ(shareEnum(nullptr, 502, &buffer, 1, &read, &total, &resume), expected);
        EXPECT_EQ(read, 1u);
        bufferFree(buffer);
    }
    EXPECT_TRUE(FreeLibrary(netapi));

    HMODULE svrapi = LoadLibraryA("SVRAPI.DLL");
    ASSERT_NE(svrapi, nullptr);
    auto enum50 = reinterpret_cast<PFN_NetShareEnum50>(GetProcAddress(svrapi, "NetShareEnum"));
    unsigned short read50 = 0, available = 0;
    EXPECT_EQ(enum50(nullptr, 50, nullptr, 0, &read50, &available), unsigned(ERROR_MORE_DATA));
    EXPECT_EQ(available, 2);
    std::vector<share_info_50> records50(available + 1);
    ASSERT_EQ(enum50(nullptr, 50, reinterpret_cast<char*>(records50.data()),
                     static_cast<unsigned short>(records50.size() * sizeof(share_info_50)), &read50,
                     &available),
              unsigned(NERR_Success));
    EXPECT_EQ(read50, 2);
    EXPECT_EQ(std::string(records50[0].shi50_netname) + "|" + records50[0].shi50_path,
              "docs|/srv/docs");

    kst::detail::SetLibraryLoadBlocked("netapi32.dll", true);
    EXPECT_EQ(LoadLibraryA("netapi32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    kst::detail::SetLibraryLoadBlocked("netapi32.dll", false);
    EXPECT_EQ(LoadLibraryA("no-such-library.dll"), nullptr);
    kst::SetShareProvider(previous);
}
