// Spanning and joining a 512 MB archive against cp and Info-ZIP, a 150 MB archive into
// diskette volumes against Info-ZIP, and reading the directory of 100,000 entries against
// unzip -Z1. The archives are made in this run.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchTiming.h"
#include "KstZipInfo.h"
#include "KstZipSpan.h"

namespace {

namespace fs = std::filesystem;

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_zip: failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void MakeLargeArchive(const std::string& work) {
    std::string src = work + "/src";
    fs::create_directories(src + "/small");
    for (int i = 0; i < 4; ++i)
        Run("head -c 120000000 /dev/urandom > " + src + "/large" + std::to_string(i) + ".bin");
    Run("cd " + src +
        "/small && seq 1 10000 | xargs -n 500 sh -c 'for n; do seq $n $((n + 300)) > f$n.txt; "
        "done' _");
    Run("cd " + src +
        " && zip -q -r -0 ../large.zip large*.bin && zip -q -r -6 ../large.zip small");
}

// 150 MB: 125 stored files of about 1.2 MB (most cross a diskette) and 20,000 small deflated.
void MakeDisketteArchive(const std::string& work) {
    std::string src = work + "/dsrc";
    fs::create_directories(src + "/small");
    Run("cd " + src +
        " && for i in $(seq 1 125); do head -c $((1100000 + i * 1601)) /dev/urandom > r$i.bin; "
        "done");
    Run("cd " + src +
        "/small && seq 1 20000 | xargs -n 1000 sh -c 'for n; do seq $n $((n + 40)) > f$n.txt; "
        "done' _");
    Run("cd " + src +
        " && zip -q -r -0 ../diskette.zip r*.bin && zip -q -r -6 ../diskette.zip small");
    fs::remove_all(src);
}

void MakeManyEntries(const std::string& work) {
    Run("python3 -c 'import zipfile\n"
        "with zipfile.ZipFile(\"" +
        work +
        "/many.zip\", \"w\") as z:\n"
        "    for i in range(100000): z.writestr(\"dir%03d/entry%06d.txt\" % (i % 997, i), "
        "str(i))'");
}

}  // namespace

int main(int argc, char** argv) {
    std::string work = argc > 1 ? argv[1] : (fs::temp_directory_path() / "kst-bench-zip").string();
    fs::remove_all(work);
    fs::create_directories(work);
    std::printf("making the archives in %s ...\n", work.c_str());
    MakeLargeArchive(work);
    MakeManyEntries(work);
    std::string large = work + "/large.zip";
    std::printf("archive: %.0f MB, %s\n", fs::file_size(large) / 1e6,
                "4 stored entries of 120 MB, 10,000 small deflated");

    auto clean = [&](const std::string& path) { return [path] { fs::remove_all(path); }; };
    auto cp = [&] { Run("cp " + large + " " + work + "/copy.zip"); };
    auto cleanCopy = clean(work + "/copy.zip");

    int volumes = 0;
    kstbench::Versus span = kstbench::Alternate(
        [&] {
            CZipSpan s(large.c_str());
            volumes = s.DoSpan(100u * 1024 * 1024, (work + "/set").c_str(), true);
        },
        cp, clean(work + "/set"), cleanCopy);
    fs::create_directories(work + "/joined");
    kstbench::Versus join = kstbench::Alternate(
        [&] {
            CZipSpan j((work + "/joined/large.zip").c_str());
            if (!j.UnSpan((work + "/set").c_str(), volumes)) std::exit(1);
        },
        cp, clean(work + "/joined/large.zip"), cleanCopy);
    Run("cmp " + large + " " + work + "/joined/large.zip");

    fs::create_directories(work + "/izip");
    double izipSplit = kstbench::Best(
        [&] { Run("zip -q " + large + " --out " + work + "/izip/split.zip -s 100m"); },
        [&] {
            fs::remove_all(work + "/izip");
            fs::create_directories(work + "/izip");
        });
    double izipJoin = kstbench::Best(
        [&] { Run("zip -q -s 0 " + work + "/izip/split.zip --out " + work + "/izip/whole.zip"); },
        clean(work + "/izip/whole.zip"));

    // Diskettes: 1,457,664-byte volumes, against Info-ZIP's split and join of the same size.
    MakeDisketteArchive(work);
    std::string diskette = work + "/diskette.zip";
    constexpr DWORD kDiskette = 1457664;
    int floppies = 0;
    auto cleanIzip = [&] {
        fs::remove_all(work + "/dizip");
        fs::create_directories(work + "/dizip");
    };
    kstbench::Versus floppySpan = kstbench::Alternate(
        [&] {
            CZipSpan s(diskette.c_str());
            floppies = s.DoSpan(kDiskette, (work + "/dset").c_str(), true);
        },
        [&] { Run("zip -q " + diskette + " --out " + work + "/dizip/split.zip -s 1440k"); },
        clean(work + "/dset"), cleanIzip, 3);
    fs::create_directories(work + "/djoined");
    Run("zip -q " + diskette + " --out " + work + "/dizip/split.zip -s 1440k");
    kstbench::Versus floppyJoin = kstbench::Alternate(
        [&] {
            CZipSpan j((work + "/djoined/diskette.zip").c_str());
            if (!j.UnSpan((work + "/dset").c_str(), floppies)) std::exit(1);
        },
        [&] { Run("zip -q -s 0 " + work + "/dizip/split.zip --out " + work + "/dizip/whole.zip"); },
        clean(work + "/djoined/diskette.zip"), clean(work + "/dizip/whole.zip"), 3);
    Run("cmp " + diskette + " " + work + "/djoined/diskette.zip");

    std::string many = work + "/many.zip";
    int entries = 0;
    double getInfo = kstbench::Best([&] {
        CZipInfo info;
        info.GetInfo(many.c_str());
        entries = info.GetFilesCount();
    });
    double unzipZ1 = kstbench::Best([&] { Run("unzip -Z1 " + many + " > /dev/null"); });

    double cpBest = std::min(span.peer, join.peer);
    std::printf("\n%-34s %9s %10s %10s %10s\n", "operation", "seconds", "vs cp", "(median)",
                "vs Info-ZIP");
    std::printf("%-34s %9.3f\n", "cp (the limit)", cpBest);
    std::printf("%-34s %9.3f %10.2f %10.2f %10.2f   (%d volumes of 100 MiB)\n", "DoSpan", span.ours,
                span.ours / span.peer, span.medianRatio, span.ours / izipSplit, volumes);
    std::printf("%-34s %9.3f %10.2f %10.2f %10.2f\n", "UnSpan", join.ours, join.ours / join.peer,
                join.medianRatio, join.ours / izipJoin);
    std::printf("%-34s %9.3f %10.2f\n", "zip --out -s 100m (Info-ZIP)", izipSplit,
                izipSplit / cpBest);
    std::printf("%-34s %9.3f %10.2f\n", "zip -s 0 (Info-ZIP)", izipJoin, izipJoin / cpBest);
    std::printf("%-34s %9.3f %21.2f   (%.0f MB into %d volumes of 1,457,664 bytes)\n",
                "DoSpan, diskettes", floppySpan.ours, floppySpan.ours / floppySpan.peer,
                fs::file_size(diskette) / 1e6, floppies);
    std::printf("%-34s %9.3f   (median ratio %.2f)\n", "zip --out -s 1440k (Info-ZIP)",
                floppySpan.peer, floppySpan.medianRatio);
    std::printf("%-34s %9.3f %21.2f\n", "UnSpan, diskettes", floppyJoin.ours,
                floppyJoin.ours / floppyJoin.peer);
    std::printf("%-34s %9.3f   (median ratio %.2f)\n", "zip -s 0 (Info-ZIP), diskettes",
                floppyJoin.peer, floppyJoin.medianRatio);
    std::printf("%-34s %9.3f %21.2f   (%d entries)\n", "GetInfo", getInfo, getInfo / unzipZ1,
                entries);
    std::printf("%-34s %9.3f\n", "unzip -Z1", unzipZ1);
    std::printf(
        "goals: span and join within 1.3 of cp and at most 0.7 of Info-ZIP (diskettes too); "
        "GetInfo at most unzip -Z1\n");
    fs::remove_all(work);
    return 0;
}
