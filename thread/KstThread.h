// CThread: a worker on a thread of its own, with a companion thread that runs its message
// loop over the worker's synchronization objects and those its children publish, and child
// thread objects that are stopped, suspended, resumed, killed and destroyed with it.
//
// Order of use (the caller's duty): construct; Init; AddThread for each child (constructed
// and initialized by the caller, who also runs it); Run; Stop, Stop with a time-out, or Kill;
// destroy. What other orders do:
//  - Run without Init, or a second Run, starts nothing.
//  - Stop and Kill on a thread that does not run (never run, ended, killed) answer 0; Kill
//    twice answers 0 the second time; Stop with a time-out then does nothing.
//  - Resume without Suspend resumes nothing but counts, as the platform answers success:
//    IsSuspended goes below 0. Suspend and Resume without a worker answer 0.
//  - Destroying a parent whose child was killed (or had ended) is the normal order.
//  - Destroying a thread whose worker still runs writes the warning line, then ends the worker
//    as Kill does (exit code 99; its children are left to their own destructors), so that no
//    thread goes on using the destroyed object. A worker killed while it holds the trace log
//    (the library's one lock) leaves it held: stop workers before destroying them.
//  - The message loop waits for at most 64 objects (own and published); when the wait cannot
//    be made at all, the loop ends.
// The destructor waits for the worker and the companion thread to end, so destroying the
// object right after its worker ended is safe. Members of a derived class are gone before
// ~CThread runs: a derived class whose Execute or MessageLoop uses them stops its threads
// before that (in its own destructor, say).
#pragma once

#include "KstCollTempl.h"
#include "KstExport.h"
#include "KstString.h"
#include "KstSync.h"
#include "KstWinThread.h"

class KST_API CThread {
public:
    typedef void (*OnDestroy_t)(void* pThread);

    struct CThreadInfo {
        // The worker; kept after it ended (its handle answers waits and exit-code queries),
        // deleted by the destructor.
        CWinThread* m_pWinThread = nullptr;
        CArray<CSyncObject*, CSyncObject*> m_arrParentSync;  // published to the parent; owned
        CArray<CSyncObject*, CSyncObject*> m_arrChildSync;   // the children's; not owned
        CArray<CSyncObject*, CSyncObject*> m_arrSync;        // [0] end event, [1] relay; owned
    };

    CThread();
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // The companion thread's handle while the worker runs, else INVALID_HANDLE_VALUE.
    virtual HANDLE GetMessageLoopHandle();
    // Publishes objects for the parent's message loop (appends to m_info.m_arrParentSync).
    virtual void InitForParentSync();
    // Creates the end event and the relay event, in this order, into m_info.m_arrSync.
    virtual void InitSyncObjects();
    // Runs on the companion thread until the end event is signaled.
    virtual void MessageLoop();
    // The work; a derived class watches m_eventStop and returns when it is set.
    virtual void Execute();
    virtual int IsSuspended();
    virtual int IsRunning();
    virtual int Resume();
    virtual int Suspend();
    virtual int Stop();
    // Stop, then wait for the worker at most timeout ms; Kill when it did not end in time.
    virtual void Stop(int timeout);
    virtual void Run();
    virtual void Init();
    // Terminates the children's workers and this one with exit code 99.
    virtual int Kill();

    CThreadInfo* GetThreadInfo() { return &m_info; }
    // Takes ownership of the child; 0 for null.
    int AddThread(CThread* pThread);
    UINT GetCountChildThreads() { return static_cast<UINT>(m_arrChildren.GetSize()); }

    static UINT ThreadProc(LPVOID pParam);
    static UINT ThreadProc2(LPVOID pParam);

    CWinThread* m_pLoopThread = nullptr;  // deleted by the framework when the loop ends
    int m_nSuspendCount = 0;
    CThreadInfo m_info;
    CArray<CThread*, CThread*> m_arrChildren;
    CMap<CString, LPCTSTR, OnDestroy_t, OnDestroy_t> m_mapOnDestroy;  // called by ~CThread
    CEvent m_eventStop;
    CEvent m_eventRelay;  // set by the loop for each signal of the relay event

private:
    // A handle of our own to the companion thread, whose framework object (and its handle)
    // goes away when the thread ends: it lets the destructor wait for that end.
    HANDLE m_hLoopThread = nullptr;
};
