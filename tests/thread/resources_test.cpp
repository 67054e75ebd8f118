// Many life cycles of thread objects leave the process as they found it: the same threads
// (/proc/self/task) and the same open descriptors (/proc/self/fd).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "ProcessState.h"
#include "ThreadTestKinds.h"

namespace {

using namespace std::chrono_literals;
using ksttest::Cooperative;
using ksttest::ExitCode;
using ksttest::Stubborn;

using ksttest::DescriptorCount;
using ksttest::DescriptorsSettleAt;
using ksttest::ThreadCount;
using ksttest::ThreadsSettleAt;

// Aborts the program when the cycles hang instead of letting the test time out silently.
class Watchdog {
public:
    explicit Watchdog(int seconds)
        : m_thread([this, seconds] {
              for (int i = 0; i < seconds * 100 && !m_done; ++i) std::this_thread::sleep_for(10ms);
              if (!m_done) {
                  fprintf(stderr, "the thread cycles hang\n");
                  abort();
              }
          }) {}
    ~Watchdog() {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

template <class Cycle>
void ExpectNothingLeft(int cycles, Cycle cycle) {
    Watchdog watchdog(60);
    int tasks = ThreadCount();
    cycle();  // the first one sets up what stays for the process's life (the signal handler)
    ASSERT_TRUE(ThreadsSettleAt(tasks));
    int fds = DescriptorCount();
    for (int i = 0; i < cycles; ++i) cycle();
    EXPECT_TRUE(ThreadsSettleAt(tasks)) << ThreadCount() << " threads, " << tasks << " before";
    EXPECT_TRUE(DescriptorsSettleAt(fds));
}

TEST(ThreadResources, ThousandStoppedCyclesLeaveNothing) {
    ExpectNothingLeft(1000, [] {
        Cooperative thread;
        thread.Init();
        thread.Run();
        thread.Stop(5000);
        ASSERT_EQ(ExitCode(thread), 0u);
    });
}

TEST(ThreadResources, HundredKilledCyclesLeaveNothing) {
    ExpectNothingLeft(100, [] {
        Stubborn thread;
        thread.Init();
        thread.Run();
        ASSERT_EQ(WaitForSingleObject(thread.m_started, 5000), WAIT_OBJECT_0);
        thread.Stop(1);
        ASSERT_EQ(ExitCode(thread), 99u);
    });
}

}  // namespace
