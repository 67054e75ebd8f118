// Many life cycles of thread objects, stopped or killed, leave the process as they found it:
// the same threads (/proc/self/task) and the same open descriptors (/proc/self/fd).
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include "ProcessState.h"
#include "ThreadTestKinds.h"

namespace {

using namespace ksttest;

TEST(ThreadResources, StoppedAndKilledCyclesLeaveNothing) {
    alarm(60);  // cycles that hang end the program, and so fail
    const std::pair<int, std::function<void()>> kinds[] = {
        {200,
         [] {
             Cooperative thread;
             thread.Init();
             thread.Run();
             thread.Stop(5000);
             ASSERT_EQ(ExitCode(thread), 0u);
         }},
        {50,
         [] {
             Stubborn thread;
             thread.Init();
             thread.Run();
             ASSERT_EQ(WaitForSingleObject(thread.m_started, 5000), WAIT_OBJECT_0);
             thread.Stop(1);
             ASSERT_EQ(ExitCode(thread), 99u);
         }},
    };
    for (const auto& [cycles, cycle] : kinds) {
        SCOPED_TRACE(cycles);
        int tasks = ThreadCount();
        cycle();  // the first one sets up what stays for the process's life (the signal handler)
        ASSERT_TRUE(ThreadsSettleAt(tasks));
        int fds = DescriptorCount();
        for (int i = 0; i < cycles; ++i) cycle();
        EXPECT_TRUE(ThreadsSettleAt(tasks)) << ThreadCount() << " threads, " << tasks << " before";
        EXPECT_TRUE(DescriptorsSettleAt(fds));
    }
    alarm(0);
}

}  // namespace
