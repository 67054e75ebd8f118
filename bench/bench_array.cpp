// The framework array's appends against std::vector in the same run: 10^6 and 10^7 Add calls
// on CPtrArray and CStringArray, and push_back of the same elements into std::vector<void*>
// and std::vector<CString>. Neither side reserves. Goal: ratio <= 3.0 at both sizes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "KstCollections.h"

namespace {

constexpr double kGoal = 3.0;
constexpr int kDistinctTexts = 4096;

volatile size_t g_sink;

void Report(const char* name, int count, const kstbench::Versus& v) {
    std::printf("%-12s %9d Add: ours %.4f s, std::vector %.4f s, ratio %.2f (goal <= %.1f) %s\n",
                name, count, v.ours, v.peer, v.medianRatio, kGoal,
                v.medianRatio <= kGoal ? "met" : "MISSED");
}

void Pointers(int count) {
    auto ours = [count] {
        CPtrArray array;
        for (int i = 0; i < count; ++i)
            array.Add(reinterpret_cast<void*>(static_cast<intptr_t>(i)));
        g_sink = static_cast<size_t>(array.GetSize());
    };
    auto peer = [count] {
        std::vector<void*> vector;
        for (int i = 0; i < count; ++i)
            vector.push_back(reinterpret_cast<void*>(static_cast<intptr_t>(i)));
        g_sink = vector.size();
    };
    Report("CPtrArray", count, kstbench::Alternate(ours, peer));
}

// Texts of 6 to 24 characters, so that some copies fit the string's own buffer and some
// allocate.
std::vector<CString> Texts() {
    std::vector<CString> texts;
    for (int i = 0; i < kDistinctTexts; ++i)
        texts.emplace_back(std::string("line ") + std::string(static_cast<size_t>(i % 20), 'x'));
    return texts;
}

void Strings(int count) {
    const std::vector<CString> texts = Texts();
    auto ours = [&] {
        CStringArray array;
        for (int i = 0; i < count; ++i) array.Add(texts[i % kDistinctTexts]);
        g_sink = static_cast<size_t>(array.GetSize());
    };
    auto peer = [&] {
        std::vector<CString> vector;
        for (int i = 0; i < count; ++i) vector.push_back(texts[i % kDistinctTexts]);
        g_sink = vector.size();
    };
    Report("CStringArray", count, kstbench::Alternate(ours, peer));
}

}  // namespace

int main() {
    for (int count : {1000000, 10000000}) {
        Pointers(count);
        Strings(count);
    }
    return 0;
}
