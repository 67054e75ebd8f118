// CMutex and CSemaphore over the system's mutex and semaphore handles.
#include "KstSync.h"

IMPLEMENT_DYNAMIC(CMutex, CSyncObject)

CMutex::CMutex(BOOL initiallyOwn, LPCSTR name, LPSECURITY_ATTRIBUTES security) : CSyncObject(name) {
    m_hObject = CreateMutexA(security, initiallyOwn, name);
}

BOOL CMutex::Unlock() {
    return ReleaseMutex(m_hObject);
}

IMPLEMENT_DYNAMIC(CSemaphore, CSyncObject)

CSemaphore::CSemaphore(LONG lInitialCount, LONG lMaxCount, LPCSTR name,
                       LPSECURITY_ATTRIBUTES security)
    : CSyncObject(name) {
    m_hObject = CreateSemaphoreA(security, lInitialCount, lMaxCount, name);
}

BOOL CSemaphore::Unlock() {
    return Unlock(1, nullptr);
}

BOOL CSemaphore::Unlock(LONG count, LONG* previousCount) {
    return ReleaseSemaphore(m_hObject, count, previousCount);
}
