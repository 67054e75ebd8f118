// CMultiLock: one wait over the handles of several synchronization objects.

#include "KstSync.h"

CMultiLock::CMultiLock(CSyncObject* objects[], DWORD count, BOOL initialLock)
    : m_ppObjectArray(objects),
      m_pHandleArray(new HANDLE[count ? count : 1]),
      m_bLockedArray(new BOOL[count ? count : 1]),
      m_dwCount(count) {
    for (DWORD i = 0; i < count; ++i) {
        m_pHandleArray[i] = objects[i] ? objects[i]->m_hObject : nullptr;
        m_bLockedArray[i] = FALSE;
    }
    if (initialLock) Lock();
}

CMultiLock::~CMultiLock() {
    Unlock();
    delete[] m_pHandleArray;
    delete[] m_bLockedArray;
}

DWORD CMultiLock::Lock(DWORD timeout, BOOL waitForAll, DWORD) {
    DWORD result = WaitForMultipleObjects(m_dwCount, m_pHandleArray, waitForAll, timeout);
    if (result >= WAIT_OBJECT_0 + m_dwCount) return result;  // time-out or failure
    if (waitForAll) {
        for (DWORD i = 0; i < m_dwCount; ++i) m_bLockedArray[i] = TRUE;
    } else {
        m_bLockedArray[result - WAIT_OBJECT_0] = TRUE;
    }
    return result;
}

BOOL CMultiLock::Unlock() {
    for (DWORD i = 0; i < m_dwCount; ++i)
        if (m_bLockedArray[i]) m_bLockedArray[i] = !m_ppObjectArray[i]->Unlock();
    return TRUE;
}

BOOL CMultiLock::Unlock(LONG count, LONG* previousCount) {
    BOOL done = TRUE;
    for (DWORD i = 0; i < m_dwCount; ++i) {
        if (!m_bLockedArray[i]) continue;
        m_bLockedArray[i] = !m_ppObjectArray[i]->Unlock(count, previousCount);
        done = done && !m_bLockedArray[i];
    }
    return done;
}

BOOL CMultiLock::IsLocked(DWORD index) const {
    return index < m_dwCount && m_bLockedArray[index];
}
