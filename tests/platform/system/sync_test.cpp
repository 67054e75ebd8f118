// Events, waits, critical sections and the framework's lock helpers, under real threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "KstSync.h"

namespace {

using namespace std::chrono_literals;

TEST(MultiLock, ReportsTheIndexOfEachEventSignaledFromAnotherThread) {
    CEvent events[3];
    CSyncObject* objects[] = {&events[0], &events[1], &events[2]};
    CMultiLock lock(objects, 3);
    for (DWORD index : {2u, 0u, 1u}) {
        std::thread setter([&] {
            std::this_thread::sleep_for(20ms);
            events[index].SetEvent();
        });
        EXPECT_EQ(lock.Lock(5000, FALSE), WAIT_OBJECT_0 + index);
        EXPECT_TRUE(lock.IsLocked(index));
        lock.Unlock();
        setter.join();
    }
    // Each automatic-reset event was consumed by its wait.
    EXPECT_EQ(lock.Lock(30, FALSE), WAIT_TIMEOUT);
}

TEST(MultiLock, LowestSignaledIndexWinsAndWaitForAllTakesEveryObject) {
    CEvent first, second(FALSE, TRUE);  // second is manual-reset
    CSyncObject* objects[] = {&first, &second};
    CMultiLock lock(objects, 2);
    second.SetEvent();
    EXPECT_EQ(lock.Lock(0, TRUE), WAIT_TIMEOUT);  // first is not signaled
    first.SetEvent();
    EXPECT_EQ(lock.Lock(0, TRUE), WAIT_OBJECT_0);
    // The automatic event was taken, the manual one stays signaled.
    EXPECT_EQ((std::vector{WaitForSingleObject(first.m_hObject, 0),
                           WaitForSingleObject(second.m_hObject, 0)}),
              (std::vector<DWORD>{WAIT_TIMEOUT, WAIT_OBJECT_0}));
    first.SetEvent();
    EXPECT_EQ(lock.Lock(0, FALSE), WAIT_OBJECT_0);
}

TEST(Event, AutomaticResetReleasesOneWaiterPerSetEvent) {
    CEvent event;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (WaitForSingleObject(event.m_hObject, 3000) == WAIT_OBJECT_0) ++released;
        });
    std::this_thread::sleep_for(50ms);
    for (int expected = 1; expected <= 3; ++expected) {
        event.SetEvent();
        std::this_thread::sleep_for(80ms);
        EXPECT_EQ(released.load(), expected);
    }
    for (auto& waiter : waiters) waiter.join();
    // With nobody waiting, a second SetEvent adds nothing: one wait takes the signal.
    event.SetEvent();
    event.SetEvent();
    // A manual-reset event releases every waiter until reset.
    CEvent manual(FALSE, TRUE);
    manual.SetEvent();
    std::vector<DWORD> waits;
    for (HANDLE h : {event.m_hObject, event.m_hObject, manual.m_hObject, manual.m_hObject})
        waits.push_back(WaitForSingleObject(h, 0));
    manual.ResetEvent();
    waits.push_back(WaitForSingleObject(manual.m_hObject, 0));
    EXPECT_EQ(waits, (std::vector<DWORD>{WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_OBJECT_0, WAIT_OBJECT_0,
                                         WAIT_TIMEOUT}));
    CEvent initially(TRUE, FALSE);
    EXPECT_TRUE(CSingleLock(&initially).Lock(0));
    EXPECT_FALSE(CSingleLock(&initially).Lock(0));
}

TEST(Wait, TimeOutIsKeptAndBadHandlesFail) {
    CEvent event;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(event.m_hObject, 120), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 115ms);

    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x7777770), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE handles[2] = {event.m_hObject, nullptr};
    EXPECT_TRUE(WaitForMultipleObjects(2, handles, FALSE, 0) == WAIT_FAILED &&
                WaitForMultipleObjects(0, handles, FALSE, 0) == WAIT_FAILED && !SetEvent(nullptr));
}

TEST(CriticalSection, IsRecursiveAndExcludesOtherThreads) {
    CCriticalSection section;
    {
        CSingleLock outer(&section, TRUE);
        CSingleLock inner(&section, TRUE);
        EXPECT_TRUE(outer.IsLocked() && inner.IsLocked());
        std::atomic<bool> entered{false};
        std::thread other([&] {
            CSingleLock lock(&section, TRUE);
            entered = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(entered.load());
        inner.Unlock();
        std::this_thread::sleep_for(30ms);
        EXPECT_FALSE(entered.load());  // still held once by outer
        outer.Unlock();
        other.join();
        EXPECT_TRUE(entered.load());
    }
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                section.Lock();
                ++counter;
                section.Unlock();
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 40000);
}

}  // namespace
