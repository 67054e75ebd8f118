// Copying a 1.4 MB file from a 1.44 MB diskette image: `kst floppy-copy` through the newer
// family (the volume device) and the older one (one INT 13h request per sector, three trace
// lines per attempt) against mcopy extracting the same file, each a whole process, in
// alternating rounds. The image is made in this run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchTiming.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs a program without a shell, its output thrown away; exits the benchmark when it fails.
void Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int status = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0 ||
        waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_floppy: failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_floppy: failed: %s\n", command.c_str());
        std::exit(1);
    }
}

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The best processor time of a command's rounds, beside the wall clock of Alternate.
struct Timed {
    std::vector<std::string> args;
    double bestCpu = 1e9;
    void operator()() {
        double before = ChildCpuSeconds();
        Spawn(args);
        bestCpu = std::min(bestCpu, ChildCpuSeconds() - before);
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::string work =
        argc > 1 ? argv[1] : (fs::temp_directory_path() / "kst-bench-floppy").string();
    fs::path self = fs::read_symlink("/proc/self/exe");
    std::string kst = (self.parent_path().parent_path() / "tools" / "kst").string();
    fs::remove_all(work);
    fs::create_directories(work);
    std::string image = work + "/floppy.img";
    Run("mkfs.fat -F 12 -C " + image + " 1440 >/dev/null && head -c 1400000 /dev/urandom > " +
        work + "/big.bin && mcopy -i " + image + " " + work + "/big.bin ::BIG.BIN");
    std::printf("image: 1.44 MB, BIG.BIN of 1,400,000 bytes (2735 sectors)\n");

    Timed peer{{"mcopy", "-o", "-n", "-i", image, "::BIG.BIN", work + "/peer.bin"}};
    struct {
        const char* family;
        double goal;
    } families[] = {{"nt", 1.0}, {"9x", 2.0}};
    for (const auto& f : families) {
        Timed ours{{kst, "floppy-copy", "--image", image, "A:\\BIG.BIN", work + "/ours.bin",
                    "--family", f.family}};
        peer.bestCpu = 1e9;
        kstbench::Versus v = kstbench::Alternate(std::ref(ours), std::ref(peer), {}, {}, 11);
        Run("cmp -s " + work + "/ours.bin " + work + "/big.bin");
        std::printf(
            "floppy-copy --family %s: ours %.1f ms, mcopy %.1f ms (best wall); ratio %.2f "
            "(median of rounds; goal <= %.1f); processor time ours %.1f ms, mcopy %.1f ms\n",
            f.family, v.ours * 1e3, v.peer * 1e3, v.medianRatio, f.goal, ours.bestCpu * 1e3,
            peer.bestCpu * 1e3);
    }
    fs::remove_all(work);
    return 0;
}
