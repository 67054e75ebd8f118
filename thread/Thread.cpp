#include "KstThread.h"

#include "KstTraceLog.h"
#include "KstWin32System.h"
#include "internal/CodePage.h"

namespace {

constexpr DWORD kKilledExitCode = 99;

void Signal(CSyncObject* object) {
    if (object) ::SetEvent(*object);
}

}  // namespace

CThread::CThread() = default;

CThread::~CThread() {
    CWinThread* worker = m_info.m_pWinThread;
    if (IsRunning()) {
        CTraceLog_Trace("WARNING: CThread::~CThread(); %s %x\n",
                        kst::detail::FromUtf8ToAnsi("Поток еще не остановлен.").c_str(),
                        GetCurrentThreadId());
        // Left running, the worker would go on with a destroyed object.
        TerminateThread(*worker, kKilledExitCode);
    }
    // Neither thread may still be on its way out: both use this object to the end.
    if (worker) WaitForSingleObject(*worker, INFINITE);
    if (m_hLoopThread) {
        if (!m_info.m_arrSync.IsEmpty()) Signal(m_info.m_arrSync[0]);
        WaitForSingleObject(m_hLoopThread, INFINITE);
        CloseHandle(m_hLoopThread);
    }

    while (!m_info.m_arrSync.IsEmpty()) {
        delete m_info.m_arrSync[0];
        m_info.m_arrSync.RemoveAt(0);
    }
    for (int i = m_info.m_arrParentSync.GetUpperBound(); i >= 0; --i)
        delete m_info.m_arrParentSync[i];
    m_info.m_arrParentSync.RemoveAll();
    for (int i = m_arrChildren.GetUpperBound(); i >= 0; --i) delete m_arrChildren[i];
    m_arrChildren.RemoveAll();

    POSITION pos = m_mapOnDestroy.GetStartPosition();
    while (pos) {
        CString name;
        OnDestroy_t callback = nullptr;
        m_mapOnDestroy.GetNextAssoc(pos, name, callback);
        if (callback) callback(this);
    }
    m_mapOnDestroy.RemoveAll();
    delete worker;
}

HANDLE CThread::GetMessageLoopHandle() {
    return IsRunning() ? m_hLoopThread : INVALID_HANDLE_VALUE;
}

void CThread::InitForParentSync() {}

void CThread::InitSyncObjects() {
    m_info.m_arrSync.Add(new CEvent);  // the end event
    m_info.m_arrSync.Add(new CEvent);  // the relay event
}

void CThread::MessageLoop() {
    CArray<CSyncObject*, CSyncObject*> objects;
    objects.Append(m_info.m_arrSync);
    objects.Append(m_info.m_arrChildSync);
    CMultiLock lock(objects.GetData(), static_cast<DWORD>(objects.GetSize()), FALSE);
    for (;;) {
        DWORD result = lock.Lock(INFINITE, FALSE, 0);
        if (result == WAIT_OBJECT_0) break;
        if (result == WAIT_OBJECT_0 + 1) m_eventRelay.SetEvent();
        if (result == WAIT_FAILED) break;  // it would fail again at once, forever
    }
}

void CThread::Execute() {}

int CThread::IsSuspended() {
    return m_nSuspendCount;
}

int CThread::IsRunning() {
    DWORD code = 0;
    return m_info.m_pWinThread && GetExitCodeThread(*m_info.m_pWinThread, &code) &&
                   code == STILL_ACTIVE
               ? 1
               : 0;
}

int CThread::Resume() {
    for (int i = 0; i < m_arrChildren.GetSize(); ++i) m_arrChildren[i]->Resume();
    if (!m_info.m_pWinThread || m_info.m_pWinThread->ResumeThread() == static_cast<DWORD>(-1))
        return 0;
    --m_nSuspendCount;
    return 1;
}

int CThread::Suspend() {
    for (int i = 0; i < m_arrChildren.GetSize(); ++i) m_arrChildren[i]->Suspend();
    if (!m_info.m_pWinThread || m_info.m_pWinThread->SuspendThread() == static_cast<DWORD>(-1))
        return 0;
    ++m_nSuspendCount;
    return 1;
}

int CThread::Stop() {
    if (!IsRunning()) return 0;
    for (int i = 0; i < m_arrChildren.GetSize(); ++i) m_arrChildren[i]->Stop();
    Resume();
    m_eventStop.SetEvent();
    return 1;
}

void CThread::Stop(int timeout) {
    if (!IsRunning()) return;
    Stop();
    if (WaitForSingleObject(*m_info.m_pWinThread, static_cast<DWORD>(timeout)) == WAIT_TIMEOUT)
        Kill();
}

void CThread::Run() {
    if (m_info.m_arrSync.IsEmpty() || m_info.m_pWinThread || m_hLoopThread) return;
    // Both start suspended, so that the handle is copied (and the worker's automatic deletion
    // switched off) before the thread can end.
    m_pLoopThread =
        AfxBeginThread(ThreadProc2, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, nullptr);
    if (m_pLoopThread) {
        HANDLE process = GetCurrentProcess();
        DuplicateHandle(process, *m_pLoopThread, process, &m_hLoopThread, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        m_pLoopThread->ResumeThread();
    }
    CWinThread* worker =
        AfxBeginThread(ThreadProc, this, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED, nullptr);
    if (worker) {
        worker->m_bAutoDelete = FALSE;
        m_info.m_pWinThread = worker;
        worker->ResumeThread();
    }
}

void CThread::Init() {
    InitSyncObjects();
    InitForParentSync();
}

int CThread::Kill() {
    if (!IsRunning()) return 0;
    for (int i = 0; i < m_arrChildren.GetSize(); ++i) m_arrChildren[i]->Kill();
    TerminateThread(*m_info.m_pWinThread, kKilledExitCode);
    if (!m_info.m_arrSync.IsEmpty()) Signal(m_info.m_arrSync[0]);
    return 1;
}

int CThread::AddThread(CThread* pThread) {
    if (!pThread) return 0;
    m_arrChildren.Add(pThread);
    m_info.m_arrChildSync.Append(pThread->m_info.m_arrParentSync);
    return 1;
}

UINT CThread::ThreadProc(LPVOID pParam) {
    auto* thread = static_cast<CThread*>(pParam);
    if (!thread) return 1;
    thread->Execute();
    if (!thread->m_info.m_arrSync.IsEmpty()) Signal(thread->m_info.m_arrSync[0]);
    return 0;
}

UINT CThread::ThreadProc2(LPVOID pParam) {
    auto* thread = static_cast<CThread*>(pParam);
    if (!thread) return 1;
    thread->MessageLoop();
    return 0;
}
