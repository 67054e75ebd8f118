// ZIP: an archive written as volumes of at most 4000 bytes (volumes/Disk{n}/backup.zip), then
// joined back into one archive of the same name in another folder, with the same bytes. The
// archive itself is made by zip.
#include <KstSystem.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

static std::string Bytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int main() {
    std::ofstream("report.txt") << std::string(10000, 'r');
    for (const char* old : {"backup.zip", "joined", "volumes"}) std::filesystem::remove_all(old);
    if (std::system("zip -q -0 backup.zip report.txt") != 0) return 1;
    CZipSpan span("backup.zip");
    int volumes = span.DoSpan(4000, "volumes", true);
    std::printf("volumes: %d\n", volumes);
    if (volumes < 2) return 1;
    std::filesystem::create_directory("joined");
    CZipSpan join("joined/backup.zip");
    if (!join.UnSpan("volumes", volumes)) {
        std::printf("join failed: %s\n", join.GetFailureReason().c_str());
        return 1;
    }
    bool same = Bytes("joined/backup.zip") == Bytes("backup.zip");
    std::printf("joined, same bytes: %s\n", same ? "yes" : "no");
    return same ? 0 : 1;
}
