// Worker kinds shared by the thread tests.
#pragma once

#include <atomic>

#include "KstThread.h"

namespace ksttest {

// Ends when asked to stop; counts the stop requests it saw.
class Cooperative : public CThread {
public:
    std::atomic<int> m_stops{0};
    void Execute() override {
        WaitForSingleObject(m_eventStop, INFINITE);
        ++m_stops;
    }
};

// Ignores the stop request; sleeps (no spinning) until it is killed. Tells when it has begun.
class Stubborn : public CThread {
public:
    CEvent m_started;
    void Execute() override {
        m_started.SetEvent();
        for (;;) Sleep(1000);
    }
};

// Publishes one event of its own for the parent's message loop.
template <class Base>
class Publishing : public Base {
public:
    void InitForParentSync() override { this->m_info.m_arrParentSync.Add(new CEvent); }
};

inline HANDLE Worker(CThread& thread) {
    return *thread.GetThreadInfo()->m_pWinThread;
}

inline DWORD ExitCode(CThread& thread) {
    DWORD code = 0;
    GetExitCodeThread(Worker(thread), &code);
    return code;
}

}  // namespace ksttest
