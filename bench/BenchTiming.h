// Wall-clock timing shared by the benchmarks.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace kstbench {

using Work = std::function<void()>;

// Seconds of one run of work; prepare runs before it, untimed.
inline double Seconds(const Work& work, const Work& prepare = {}) {
    if (prepare) prepare();
    auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The best of a few runs, so that a stray hiccup of the machine does not decide.
inline double Best(const Work& work, const Work& prepare = {}, int runs = 3) {
    double best = 1e9;
    for (int run = 0; run < runs; ++run) best = std::min(best, Seconds(work, prepare));
    return best;
}

// Ours and a peer in alternating rounds, each after its own preparation, so that load or the
// disk's background work (writeback after a large removal) hits both alike.
struct Versus {
    double ours = 1e9, peer = 1e9;  // the best rounds
    double medianRatio = 0;         // of the rounds' ratios
};

inline Versus Alternate(const Work& ours, const Work& peer, const Work& oursPrepare = {},
                        const Work& peerPrepare = {}, int rounds = 5) {
    Versus v;
    std::vector<double> ratios;
    for (int round = 0; round < rounds; ++round) {
        double a, b;
        if (round % 2 == 0) {
            a = Seconds(ours, oursPrepare);
            b = Seconds(peer, peerPrepare);
        } else {
            b = Seconds(peer, peerPrepare);
            a = Seconds(ours, oursPrepare);
        }
        v.ours = std::min(v.ours, a);
        v.peer = std::min(v.peer, b);
        ratios.push_back(a / b);
    }
    std::sort(ratios.begin(), ratios.end());
    v.medianRatio = ratios[ratios.size() / 2];
    return v;
}

}  // namespace kstbench
