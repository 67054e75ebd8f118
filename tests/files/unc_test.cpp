// Network names: mounts of the mount table, and this computer's shares from the share provider
// or Samba's configuration, through both platform families' enumerations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "KstFileService.h"
#include "KstPlatform.h"
#include "KstPlatformShares.h"
#include "KstTest.h"
#include "TraceCapture.h"
#include "KstWin32.h"
#include "files/internal/ShareEnum.h"
#include "internal/Libraries.h"
#include "internal/MountTable.h"
#include "internal/Shares.h"

namespace fs = std::filesystem;
using ksttest::ScratchDir;

namespace {

constexpr const char* kMountTable =
    "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw\n"
    "40 22 0:50 / /mnt/office rw,relatime shared:2 - cifs //fileserver/Office rw,vers=3.0\n"
    "41 22 0:51 /sub /mnt/proj\\040x rw,relatime - smb3 //nas/Projects rw\n"
    "42 22 0:52 / /mnt/nfs rw,relatime - nfs4 host:/export rw\n";

// Every test starts from this computer "PC1" on the NT family, with fixtures in place of
// the system's mount table and Samba configuration.
class Unc : public ::testing::Test {
protected:
    void SetUp() override {
        kst::SetComputerName("PC1");
        kst::SetPlatformFamily(kst::PlatformFamily::NT);
        ksttest::WriteFile(dir + "/mountinfo", kMountTable);
        kst::detail::SetMountTablePath(dir + "/mountinfo");
        kst::detail::SetSambaPaths(dir + "/smb.conf", dir + "/usershares");
    }
    void TearDown() override {
        kst::SetShareProvider(nullptr);
        kst::files::SetNetShareEnumForTest(nullptr);
        kst::detail::SetMountTablePath("");
        kst::detail::SetSambaPaths("", "");
        kst::detail::SetLibraryLoadBlocked("netapi32.dll", false);
        kst::detail::SetLibraryLoadBlocked("svrapi.dll", false);
        kst::SetPlatformFamily(kst::PlatformFamily::NT);
    }

    static void UseShares(std::vector<kst::ShareInfo> shares) {
        kst::SetShareProvider([shares] { return shares; });
    }

    // The network name, or "0:" and the path as left when there is none.
    static std::string NameOf(const char* path, int preferLongest = 1, int checkSecurity = 0,
                              const char* server = nullptr) {
        CString text = path;
        int found = CFileService::GetUNC(text, preferLongest, checkSecurity, server);
        return found ? text.str() : "0:" + text.str();
    }

    std::string dir = ScratchDir();
};

// ---- Mounts ----

TEST_F(Unc, MountedShareGivesTheProvidersNameAndMissingTablesNothing) {
    // Lower-cased first, then the provider's name as it gives it.
    EXPECT_EQ(NameOf("/mnt/office/Reports/Q1.TXT"), "\\\\fileserver\\Office\\reports\\q1.txt");
    EXPECT_EQ(NameOf("/mnt/proj x/A/b.txt"), "\\\\nas\\Projects\\sub\\a\\b.txt");
    EXPECT_EQ(NameOf("/mnt/office"), "\\\\fileserver\\Office");
    kst::MapDrive('N', "/mnt/office", kst::DriveType::Remote);
    EXPECT_EQ(NameOf("N:\\Reports\\x.doc"), "\\\\fileserver\\Office\\reports\\x.doc");
    kst::UnmapDrive('N');
    // NFS has no universal name; nothing is shared here either.
    EXPECT_EQ(NameOf("/mnt/nfs/File"), "0:/mnt/nfs/file");
    kst::detail::SetMountTablePath(dir + "/missing");
    EXPECT_EQ(NameOf("/mnt/office/x"), "0:/mnt/office/x");
    kst::detail::SetMountTablePath(dir);  // a folder cannot be read as a table
    kst::detail::SetSambaPaths(dir, dir + "/none");
    EXPECT_EQ(NameOf("/mnt/office/x"), "0:/mnt/office/x");
    kst::SetPlatformFamily(kst::PlatformFamily::Win9x);
    EXPECT_EQ(NameOf("/mnt/office/x"), "0:/mnt/office/x");
}

// ---- Shares of this computer (both families) ----

class Shares : public Unc, public ::testing::WithParamInterface<kst::PlatformFamily> {
protected:
    void SetUp() override {
        Unc::SetUp();
        kst::SetPlatformFamily(GetParam());
    }
};

TEST_P(Shares, NamesFromTheSharesOfThisComputer) {
    const std::vector<kst::ShareInfo> data = {{"docs", "c:\\data", "", STYPE_DISKTREE}};
    const std::vector<kst::ShareInfo> three = {
        {"c", "c:\\", "", 0}, {"docs", "c:\\data", "", 0}, {"all", "C:\\", "", 0}};
    const std::vector<kst::ShareInfo> withIpc = {{"docs", "c:\\data", "", 0},
                                                 {"IPC$", "", "Remote IPC", STYPE_IPC}};
    const std::vector<kst::ShareInfo> slash = {{"docs", "c:\\data\\", "", STYPE_DISKTREE}},
                                      srv = {{"docs", "/srv/data", "", STYPE_DISKTREE}},
                                      root = {{"c", "c:\\", "", STYPE_DISKTREE}};
    const std::string tooLong = "c:\\" + std::string(400, 'x');
    const struct {
        std::vector<kst::ShareInfo> shares;
        std::string path;
        int preferLongest;
        const char* server;
        std::string expected;
    } cases[] = {
        {data, "c:\\Data\\X\\y.txt", 1, nullptr, "\\\\pc1\\docs\\x\\y.txt"},
        {data, "c:\\data", 1, nullptr, "\\\\pc1\\docs\\"},  // the folder ends in a separator
        {data, "d:\\data\\x", 1, nullptr, "0:d:\\data\\x"},
        // Only the share's own characters are compared: a longer folder name matches too,
        // and one character after the share's folder is taken for its separator.
        {data, "c:\\Database\\x", 1, nullptr, "\\\\pc1\\docs\\ase\\x"},
        // Separators are characters like any other here.
        {data, "c:/data/x/y.txt", 1, nullptr, "0:c:/data/x/y.txt"},
        // A folder other than a drive root that ends in a separator still skips one more.
        {slash, "c:\\data\\x\\y.txt", 1, nullptr, "\\\\pc1\\docs\\\\y.txt"},
        {srv, "/srv/database/x", 1, nullptr, "\\\\pc1\\docs\\ase\\x"},
        {root, "C:\\X", 1, nullptr, "\\\\pc1\\c\\x"},
        {root, "c:\\", 1, nullptr, "\\\\pc1\\c\\"},
        {three, "c:\\data\\x.txt", 1, nullptr, "\\\\pc1\\docs\\x.txt"},
        {three, "c:\\data\\x.txt", 0, nullptr, "\\\\pc1\\all\\data\\x.txt"},
        {three, "c:\\other\\x.txt", 1, nullptr, "\\\\pc1\\c\\other\\x.txt"},
        {withIpc, "c:\\Data\\X", 0, nullptr, "0:c:\\data\\x"},
        {withIpc, "c:\\Data\\X", 1, nullptr, "\\\\pc1\\docs\\x"},
        {{{"IPC$", "", "", STYPE_IPC}}, "c:\\data\\x", 0, nullptr, "0:c:\\data\\x"},
        {data, "c:\\data\\x", 1, "localhost", "\\\\localhost\\docs\\x"},
        // The server's name is used as it is given, backslashes and all.
        {data, "c:\\data\\x", 1, "\\\\PC1", "\\\\\\\\pc1\\docs\\x"},
        // Another computer's shares cannot be listed here.
        {data, "c:\\data\\x", 1, "other", "0:c:\\data\\x"},
        {root, tooLong, 1, nullptr, "0:" + tooLong},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        UseShares(c.shares);
        EXPECT_EQ(NameOf(c.path.c_str(), c.preferLongest, 0, c.server), c.expected);
    }
}

TEST_P(Shares, SambaConfigurationAndCyrillicNames) {
    EXPECT_EQ(NameOf("/etc/hosts"), "0:/etc/hosts");  // no configuration
    ksttest::WriteFile(dir + "/smb.conf",
                       "[global]\n   workgroup = HOME\n"
                       "[Docs]\n   path = /srv/Data\n   comment = documents\n"
                       "[printers]\n   printable = yes\n   path = /var/spool/samba\n"
                       "[homes]\n   browseable = no\n");
    fs::create_directories(dir + "/usershares");
    ksttest::WriteFile(dir + "/usershares/music", "path=/home/u/Music/\nsharename=Music\n");
    EXPECT_EQ(NameOf("/srv/data/Reports/q1.txt"), "\\\\pc1\\docs\\reports\\q1.txt");
    // A share path with its trailing separator.
    EXPECT_EQ(NameOf("/home/u/music/a/b.ogg"), "\\\\pc1\\music\\a\\b.ogg");
    EXPECT_EQ(NameOf("/home/u/other"), "0:/home/u/other");
    // A drive mapped onto a shared folder is found through its host folder.
    kst::MapDrive('S', "/srv/data", kst::DriveType::Fixed);
    EXPECT_EQ(NameOf("S:\\Reports\\q1.txt"), "\\\\pc1\\docs\\reports\\q1.txt");
    kst::UnmapDrive('S');
    ksttest::WriteFile(dir + "/smb.conf", "[root]\npath = /\n");
    EXPECT_EQ(NameOf("/etc/hosts"), "\\\\pc1\\root\\etc\\hosts");

    kst::SetCodePages(CP_UTF8, 866);
    // Short enough for the older family's 12-byte share names.
    UseShares({{"Док", "c:\\Данные", "", 0}});
    EXPECT_EQ(NameOf("C:\\ДАННЫЕ\\Отчёт.txt"), "\\\\pc1\\док\\отчёт.txt");
}

INSTANTIATE_TEST_SUITE_P(Families, Shares,
                         ::testing::Values(kst::PlatformFamily::NT, kst::PlatformFamily::Win9x),
                         [](const auto& info) {
                             return info.param == kst::PlatformFamily::NT ? "NT" : "Win9x";
                         });

// ---- The NT enumeration's own records ----

SECURITY_DESCRIPTOR g_validDescriptor{
    SECURITY_DESCRIPTOR_REVISION, 0, 0, nullptr, nullptr, nullptr, nullptr};
SECURITY_DESCRIPTOR g_invalidDescriptor{0, 0, 0, nullptr, nullptr, nullptr, nullptr};

struct FakeShare {
    const char16_t* name;
    const char16_t* path;
    PSECURITY_DESCRIPTOR descriptor;
};

// Hands out records in batches of one, as a server with a small buffer does; the buffer is
// freed by the library's NetApiBufferFree.
std::vector<FakeShare> g_fakeShares;
NET_API_STATUS g_fakeFailure = NERR_Success;

NET_API_STATUS FakeNetShareEnum(LMSTR, DWORD level, LPBYTE* buffer, DWORD, LPDWORD read,
                                LPDWORD total, LPDWORD resume) {
    *buffer = nullptr;
    *read = 0;
    if (g_fakeFailure != NERR_Success) return g_fakeFailure;
    if (level != 502) return ERROR_INVALID_LEVEL;
    DWORD next = *resume;
    *total = DWORD(g_fakeShares.size() - next);
    if (next >= g_fakeShares.size()) return NERR_Success;
    auto* record = static_cast<SHARE_INFO_502*>(std::calloc(1, sizeof(SHARE_INFO_502)));
    record->shi502_netname = const_cast<LMSTR>(g_fakeShares[next].name);
    record->shi502_path = const_cast<LMSTR>(g_fakeShares[next].path);
    record->shi502_security_descriptor = g_fakeShares[next].descriptor;
    *buffer = reinterpret_cast<LPBYTE>(record);
    *read = 1;
    *resume = next + 1;
    return *resume < g_fakeShares.size() ? ERROR_MORE_DATA : NERR_Success;
}

class NtRecords : public Unc {
protected:
    void SetUp() override {
        Unc::SetUp();
        g_fakeFailure = NERR_Success;
        kst::files::SetNetShareEnumForTest(&FakeNetShareEnum);
    }
};

TEST_F(NtRecords, InvalidDescriptorSkippedWhenCheckedFailureGivesNothing) {
    g_fakeShares = {{u"c", u"c:\\", &g_validDescriptor},
                    {u"open", u"c:\\data", &g_invalidDescriptor},
                    {u"none", u"c:\\data\\x", nullptr}};
    EXPECT_EQ(NameOf("c:\\data\\x\\y", 1, 1), "\\\\pc1\\c\\data\\x\\y");
    EXPECT_EQ(NameOf("c:\\data\\x\\y", 1, 0), "\\\\pc1\\none\\y");
    EXPECT_EQ(NameOf("c:\\data\\x\\y", 0, 0), "\\\\pc1\\none\\y");
    // Every batch is read: the last share comes in the third one.
    EXPECT_EQ(NameOf("c:\\data\\z", 0, 0), "\\\\pc1\\open\\z");
    g_fakeFailure = ERROR_ACCESS_DENIED;
    EXPECT_EQ(NameOf("C:\\x"), "0:c:\\x");
}

// ---- Libraries that cannot be loaded ----

TEST_F(Unc, ShareLibraryThatCannotBeLoaded) {
    ksttest::TraceCapture trace;
    UseShares({{"c", "c:\\", "", 0}});
    for (auto [family, library] : {std::pair{kst::PlatformFamily::NT, "netapi32.dll"},
                                   {kst::PlatformFamily::Win9x, "svrapi.dll"}}) {
        kst::SetPlatformFamily(family);
        kst::detail::SetLibraryLoadBlocked(library, true);
        EXPECT_EQ(NameOf("C:\\X"), "0:c:\\x");
        EXPECT_NE(trace.Text().find(std::string("ERROR: CFileService::GetUNC(); Error load \"") +
                                    library + "\".\r\n"),
                  std::string::npos)
            << trace.Text();
    }
    // A mounted share needs no library.
    EXPECT_EQ(NameOf("/mnt/office/x"), "\\\\fileserver\\Office\\x");
}

// ---- The command-line program ----

TEST_F(Unc, KstUncAndMkdirCommands) {
    ksttest::WriteFile(dir + "/smb.conf", "[Deep]\npath=/srv/data/x\n[Docs]\npath = /srv/data\n");
    const std::string smb = " --smb-conf " + dir + "/smb.conf";
    const std::tuple<std::string, int, std::string> cases[] = {
        {"--mount-table " + dir + "/mountinfo /mnt/office/A.txt", 0,
         "\\\\fileserver\\Office\\a.txt\n"},
        {"--server localhost" + smb + " /srv/data/x/y", 0, "\\\\localhost\\deep\\y\n"},
        {"--last --server localhost" + smb + " /srv/data/x/y", 0, "\\\\localhost\\docs\\x\\y\n"},
        {smb + " /etc/x 2>/dev/null", 1, ""},
    };
    for (const auto& [args, code, printed] : cases) {
        std::string out;
        EXPECT_EQ(ksttest::RunCommand(ksttest::ToolPath() + " unc " + args, &out), code) << args;
        EXPECT_EQ(out, printed) << args;
    }
    std::string kst = ksttest::ToolPath(), target = dir + "/new/deeper", out;
    EXPECT_EQ(ksttest::RunCommand("echo c | " + kst + " mkdir " + target, &out), 1);
    EXPECT_NE(out.find("Каталог " + target + " не найден. Создать его?."), std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(ksttest::RunCommand("echo o | " + kst + " mkdir " + target, &out), 0);
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(ksttest::RunCommand(kst + " mkdir " + target + " </dev/null", &out), 0);
    ksttest::WriteFile(dir + "/file", "");
    out.clear();
    EXPECT_EQ(ksttest::RunCommand(kst + " mkdir --yes " + dir + "/file", &out), 1);
    EXPECT_NE(out.find("уже существует файл"), std::string::npos) << out;
}

}  // namespace
