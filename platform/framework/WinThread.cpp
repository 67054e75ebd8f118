// CWinThread: a framework thread object over a system thread handle.
#include "KstWinThread.h"

namespace {

thread_local CWinThread* t_winThread = nullptr;

}  // namespace

IMPLEMENT_DYNAMIC(CWinThread, CObject)

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID parameter)
    : m_pThreadParams(parameter), m_pfnThreadProc(proc) {}

CWinThread::CWinThread() = default;

CWinThread::~CWinThread() {
    if (m_hThread) CloseHandle(m_hThread);
}

void CWinThread::Delete() {
    if (m_bAutoDelete) delete this;
}

DWORD CWinThread::Entry(LPVOID self) {
    auto* thread = static_cast<CWinThread*>(self);
    t_winThread = thread;
    UINT exitCode = 0;
    if (thread->m_pfnThreadProc)
        exitCode = thread->m_pfnThreadProc(thread->m_pThreadParams);
    else
        exitCode = static_cast<UINT>(thread->InitInstance() ? thread->Run() : thread->ExitInstance());
    t_winThread = nullptr;
    thread->Delete();
    return exitCode;
}

BOOL CWinThread::CreateThread(DWORD flags, UINT stackSize, LPSECURITY_ATTRIBUTES security) {
    // Always created suspended, so that the handle and id are stored before the thread runs
    // (and before it can delete this object).
    m_hThread = ::CreateThread(security, stackSize, &CWinThread::Entry, this,
                               flags | CREATE_SUSPENDED, &m_nThreadID);
    if (!m_hThread) return FALSE;
    if (!(flags & CREATE_SUSPENDED)) ResumeThread();
    return TRUE;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID parameter, int priority, UINT stackSize,
                           DWORD flags, LPSECURITY_ATTRIBUTES security) {
    if (!proc) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* thread = new CWinThread(proc, parameter);
    if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize, security)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if (!(flags & CREATE_SUSPENDED)) thread->ResumeThread();
    return thread;
}

CWinThread* AfxBeginThread(CRuntimeClass* pThreadClass, int priority, UINT stackSize, DWORD flags,
                           LPSECURITY_ATTRIBUTES security) {
    CObject* object = pThreadClass ? pThreadClass->CreateObject() : nullptr;
    auto* thread = dynamic_cast<CWinThread*>(object);
    if (!thread) {
        delete object;
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize, security)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if (!(flags & CREATE_SUSPENDED)) thread->ResumeThread();
    return thread;
}

void AfxEndThread(UINT exitCode, BOOL deleteThread) {
    CWinThread* thread = t_winThread;
    t_winThread = nullptr;
    if (thread && deleteThread) thread->Delete();
    ExitThread(exitCode);
}

CWinThread* AfxGetThread() {
    return t_winThread;
}
