// The framework's synchronization objects: events, critical sections and the lock helpers
// that wait for one or several of them.
#pragma once

#include "KstExport.h"
#include "KstObject.h"
#include "KstWin32Base.h"
#include "KstWin32Threads.h"

class KST_API CSyncObject : public CObject {
    DECLARE_DYNAMIC(CSyncObject)
public:
    explicit CSyncObject(LPCSTR name = nullptr);
    ~CSyncObject() override;
    CSyncObject(const CSyncObject&) = delete;
    CSyncObject& operator=(const CSyncObject&) = delete;

    operator HANDLE() const { return m_hObject; }  // NOLINT: as in the framework
    virtual BOOL Lock(DWORD timeout = INFINITE);
    virtual BOOL Unlock() = 0;
    virtual BOOL Unlock(LONG /*count*/, LONG* /*previousCount*/ = nullptr) { return TRUE; }

    HANDLE m_hObject = nullptr;  // closed by the destructor
};

// Default: automatic reset, not signaled.
class KST_API CEvent : public CSyncObject {
    DECLARE_DYNAMIC(CEvent)
public:
    explicit CEvent(BOOL initiallyOwn = FALSE, BOOL manualReset = FALSE, LPCSTR name = nullptr,
                    LPSECURITY_ATTRIBUTES security = nullptr);
    BOOL SetEvent();
    BOOL ResetEvent();
    BOOL Unlock() override { return TRUE; }
};

// Recursive: the owning thread may lock it again; every Lock needs its Unlock.
class KST_API CCriticalSection : public CSyncObject {
    DECLARE_DYNAMIC(CCriticalSection)
public:
    CCriticalSection();
    ~CCriticalSection() override;
    operator CRITICAL_SECTION*() { return &m_sect; }  // NOLINT
    BOOL Lock();
    // The time-out is ignored, as in the framework: the lock waits as long as it takes.
    BOOL Lock(DWORD timeout) override;
    BOOL Unlock() override;

    CRITICAL_SECTION m_sect;
};

class KST_API CSingleLock {
public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD timeout = INFINITE);
    BOOL Unlock();
    BOOL Unlock(LONG count, LONG* previousCount = nullptr);
    BOOL IsLocked() const { return m_bAcquired; }

protected:
    CSyncObject* m_pObject;
    HANDLE m_hObject;
    BOOL m_bAcquired = FALSE;
};

// Waits for any one or all of several objects that have handles (events, threads).
class KST_API CMultiLock {
public:
    CMultiLock(CSyncObject* objects[], DWORD count, BOOL initialLock = FALSE);
    ~CMultiLock();
    CMultiLock(const CMultiLock&) = delete;
    CMultiLock& operator=(const CMultiLock&) = delete;

    // WAIT_OBJECT_0 + index of the object taken (0 when all were), WAIT_TIMEOUT or WAIT_FAILED.
    // The wake mask for window messages is accepted and ignored: there is no message queue.
    DWORD Lock(DWORD timeout = INFINITE, BOOL waitForAll = TRUE, DWORD wakeMask = 0);
    BOOL Unlock();
    BOOL Unlock(LONG count, LONG* previousCount = nullptr);
    BOOL IsLocked(DWORD index) const;

protected:
    CSyncObject** m_ppObjectArray;
    HANDLE* m_pHandleArray;
    BOOL* m_bLockedArray;
    DWORD m_dwCount;
};

// Owned by the thread whose Lock took it, recursively; Unlock from that thread gives it back.
class KST_API CMutex : public CSyncObject {
    DECLARE_DYNAMIC(CMutex)
public:
    explicit CMutex(BOOL initiallyOwn = FALSE, LPCSTR name = nullptr,
                    LPSECURITY_ATTRIBUTES security = nullptr);
    BOOL Unlock() override;
};

// Counts from lInitialCount up to lMaxCount; each Lock takes one, Unlock gives them back.
class KST_API CSemaphore : public CSyncObject {
    DECLARE_DYNAMIC(CSemaphore)
public:
    explicit CSemaphore(LONG lInitialCount = 1, LONG lMaxCount = 1, LPCSTR name = nullptr,
                        LPSECURITY_ATTRIBUTES security = nullptr);
    BOOL Unlock() override;
    BOOL Unlock(LONG count, LONG* previousCount = nullptr) override;
};
