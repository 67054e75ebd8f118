// The framework's worker threads: CWinThread and AfxBeginThread.
#pragma once

#include "KstExport.h"
#include "KstObject.h"
#include "KstWin32Base.h"
#include "KstWin32Threads.h"

typedef UINT (*AFX_THREADPROC)(LPVOID parameter);

class KST_API CWinThread : public CObject {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread(AFX_THREADPROC proc, LPVOID parameter);
    // A thread object of a derived class: its thread runs InitInstance, then Run (or
    // ExitInstance when InitInstance fails); see AfxBeginThread with a runtime class.
    CWinThread();
    ~CWinThread() override;  // closes m_hThread
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread (flags: CREATE_SUSPENDED); FALSE when it could not be created.
    BOOL CreateThread(DWORD flags = 0, UINT stackSize = 0,
                      LPSECURITY_ATTRIBUTES security = nullptr);
    DWORD SuspendThread() { return ::SuspendThread(m_hThread); }
    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
    int GetThreadPriority() { return ::GetThreadPriority(m_hThread); }
    BOOL SetThreadPriority(int priority) { return ::SetThreadPriority(m_hThread, priority); }
    operator HANDLE() const { return m_hThread; }  // NOLINT: as in the framework

    // Deletes the object when m_bAutoDelete is set; called when the thread ends.
    virtual void Delete();

    // The life of a thread without a thread function. There is no message queue: Run answers
    // ExitInstance at once, unless a derived class does its work there.
    virtual BOOL InitInstance() { return TRUE; }
    virtual int Run() { return ExitInstance(); }
    virtual int ExitInstance() { return 0; }

    // With m_bAutoDelete (the default) the object deletes itself when its thread ends. To keep
    // it, clear the flag before the thread can end: start it with CREATE_SUSPENDED, clear the
    // flag, then ResumeThread.
    BOOL m_bAutoDelete = TRUE;
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    LPVOID m_pThreadParams = nullptr;
    AFX_THREADPROC m_pfnThreadProc = nullptr;

private:
    static DWORD Entry(LPVOID self);
};

// Starts proc(parameter) on a new thread; null when it cannot. Priorities are recorded only.
KST_API CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID parameter,
                                   int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                                   DWORD flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
// Creates an object of the class (derived from CWinThread, with DECLARE_DYNCREATE) and starts
// its thread; null when the class cannot be created or the thread cannot start.
KST_API CWinThread* AfxBeginThread(CRuntimeClass* pThreadClass,
                                   int priority = THREAD_PRIORITY_NORMAL, UINT stackSize = 0,
                                   DWORD flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);
// Ends the calling thread with the exit code; deletes its CWinThread first when asked (and
// when it is to be deleted automatically).
[[noreturn]] KST_API void AfxEndThread(UINT exitCode, BOOL deleteThread = TRUE);
// The CWinThread of the calling thread; null on threads not started by AfxBeginThread.
KST_API CWinThread* AfxGetThread();
