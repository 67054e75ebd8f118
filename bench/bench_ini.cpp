// Ini benchmark: CIniFile::Read of a generated file of 10,000 sections of 10 keys (about
// 1 MB) against inih parsing the same file in the same run; then a file four times as long,
// to show that the parse grows linearly with the text.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "settings/internal/SharedIniFile.h"

#ifdef KST_HAVE_INIH
#include <ini.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::string GeneratedText(int sections, int keys) {
    std::string text;
    char line[64];
    for (int s = 0; s < sections; ++s) {
        std::snprintf(line, sizeof line, "[S%05d]\r\n", s);
        text += line;
        for (int k = 0; k < keys; ++k) {
            std::snprintf(line, sizeof line, "k%d=%05d%d\r\n", k, s, k);
            text += line;
        }
    }
    return text;
}

void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

// Best milliseconds of runs of fn (the machine may be shared); fn answers the entries it read.
double BestMs(int runs, const std::function<size_t()>& fn, size_t& entries) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        entries = fn();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return *std::min_element(ms.begin(), ms.end());
}

size_t ReadWithIniFile(const std::string& path) {
    CIniFile ini(path.c_str());
    ini.SetAutoSave(0);
    ini.Read();
    return static_cast<size_t>(ini.GetCount());
}

#ifdef KST_HAVE_INIH
using Entries = std::vector<std::tuple<std::string, std::string, std::string>>;

// Keeps every entry, as CIniFile does.
int KeepEntry(void* user, const char* section, const char* name, const char* value) {
    static_cast<Entries*>(user)->emplace_back(section, name, value);
    return 1;
}

size_t ReadWithInih(const std::string& path) {
    Entries entries;
    ini_parse(path.c_str(), KeepEntry, &entries);
    return entries.size();
}
#endif

}  // namespace

int main() {
    const int kRuns = 15;
    std::string folder = std::filesystem::temp_directory_path() / "kst-bench-ini";
    std::filesystem::create_directories(folder);
    std::string small = folder + "/small.ini";
    std::string large = folder + "/large.ini";
    std::string smallText = GeneratedText(10000, 10);
    WriteText(small, smallText);
    WriteText(large, GeneratedText(40000, 10));

    size_t entries = 0;
    double ours = BestMs(
        kRuns, [&] { return ReadWithIniFile(small); }, entries);
    std::printf("file: 10000 sections x 10 keys, %.2f MB; best of %d runs\n",
                smallText.size() / 1048576.0, kRuns);
    std::printf("CIniFile::Read     %8.2f ms  (%zu entries)\n", ours, entries);
#ifdef KST_HAVE_INIH
    double peer = BestMs(
        kRuns, [&] { return ReadWithInih(small); }, entries);
    std::printf("inih ini_parse     %8.2f ms  (%zu entries)\n", peer, entries);
    std::printf("ratio CIniFile/inih %7.2f  (goal: 2.0 or less)\n", ours / peer);
#else
    std::printf("inih not found: no comparison\n");
#endif
    double longer = BestMs(
        5, [&] { return ReadWithIniFile(large); }, entries);
    std::printf("4x the text        %8.2f ms  (%.2f x the time; linear is 4)\n", longer,
                longer / ours);
    std::filesystem::remove_all(folder);
    return 0;
}
