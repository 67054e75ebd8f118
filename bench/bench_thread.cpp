// Worker threads against their yardstick, in one run: 10^4 cycles of a CThread (construct,
// Init, Run, a worker that waits for m_eventStop, Stop with a time-out, destroy) against the
// same two threads per worker made with std::thread: a worker that waits on a
// std::condition_variable for the stop, a companion that waits on another for the worker's
// end, and a join of both.
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "BenchTiming.h"
#include "KstThread.h"

namespace {

constexpr int kCycles = 10000;

class Worker : public CThread {
public:
    void Execute() override { WaitForSingleObject(m_eventStop, INFINITE); }
};

void Ours() {
    for (int i = 0; i < kCycles; ++i) {
        Worker worker;
        worker.Init();
        worker.Run();
        worker.Stop(5000);
    }
}

void Peer() {
    for (int i = 0; i < kCycles; ++i) {
        std::mutex mutex;
        std::condition_variable stopCv, endCv;
        bool stop = false, ended = false;
        std::thread companion([&] {
            std::unique_lock lock(mutex);
            endCv.wait(lock, [&] { return ended; });
        });
        std::thread worker([&] {
            std::unique_lock lock(mutex);
            stopCv.wait(lock, [&] { return stop; });
            ended = true;
            endCv.notify_one();
        });
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        stopCv.notify_one();
        worker.join();
        companion.join();
    }
}

}  // namespace

int main() {
    kstbench::Versus v = kstbench::Alternate(Ours, Peer, {}, {}, 3);
    printf("%-26s ours %7.3f s   %-10s %7.3f s   best/best %.2f   median ratio %.2f\n",
           "thread cycles, 1e4", v.ours, "std::thread", v.peer, v.ours / v.peer, v.medianRatio);
    return 0;
}
