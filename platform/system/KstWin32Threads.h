// System interfaces for events, waits, critical sections and threads, on Linux primitives.
//
// Events are eventfds and a thread handle carries an eventfd that becomes readable when the
// thread ends, so every wait is one poll() over the objects' descriptors.
//
// Suspension and termination of threads started here (CreateThread, AfxBeginThread) use the
// real-time signal KST_THREAD_CONTROL_SIGNAL (SIGRTMAX - 2); a host must leave it alone and must
// not block it in those threads. See TerminateThread for what termination leaves behind.
#pragma once

#include <pthread.h>
#include <signal.h>

#include "KstExport.h"
#include "KstWinTypes.h"

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

#define KST_THREAD_CONTROL_SIGNAL (SIGRTMAX - 2)

#define MAXIMUM_WAIT_OBJECTS 64
#define CREATE_SUSPENDED 0x00000004u
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_IDLE (-15)

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

// Events. Names are not supported: a named event is a fresh unnamed one.
KST_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState,
                            LPCSTR name);
KST_API BOOL SetEvent(HANDLE event);
KST_API BOOL ResetEvent(HANDLE event);

// Semaphores and mutexes, waitable beside events and threads. Names are not supported either.
// A mutex belongs to the thread whose wait took it and is recursive; only that thread releases it.
KST_API HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES security, LONG initialCount, LONG maximumCount,
                                LPCSTR name);
KST_API BOOL ReleaseSemaphore(HANDLE semaphore, LONG releaseCount, LONG* previousCount);
KST_API HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
KST_API BOOL ReleaseMutex(HANDLE mutex);

// Waits. A wait for all takes every object at once or none of them.
KST_API DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
KST_API DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll,
                                     DWORD milliseconds);
KST_API void Sleep(DWORD milliseconds);

// Critical sections: recursive mutexes.
struct CRITICAL_SECTION {
    pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;
KST_API void InitializeCriticalSection(LPCRITICAL_SECTION section);
KST_API void EnterCriticalSection(LPCRITICAL_SECTION section);
KST_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);
KST_API void LeaveCriticalSection(LPCRITICAL_SECTION section);
KST_API void DeleteCriticalSection(LPCRITICAL_SECTION section);

// Threads. The handle is signaled when the thread has ended.
KST_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                            LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                            LPDWORD threadId);
// Ends the calling thread (one started here) at once with the given exit code.
[[noreturn]] KST_API void ExitThread(DWORD exitCode);
// The kernel's id of the calling thread: small, stable, unique among living threads.
KST_API DWORD GetCurrentThreadId();
// A pseudo handle that stands for the calling thread in the calls below.
KST_API HANDLE GetCurrentThread();
// Both answer the previous suspend count, or (DWORD)-1 on failure. A suspended thread is
// parked before SuspendThread returns (unless it is the caller itself, which parks at once,
// or as soon as it leaves the layer's call).
KST_API DWORD SuspendThread(HANDLE thread);
KST_API DWORD ResumeThread(HANDLE thread);
// Ends the thread at once with the exit code, wherever it is, also in a loop that calls
// nothing. Like the platform's call it is a last resort: the thread's own frames run no
// destructors (what they own stays allocated), and locks it held outside this layer (its
// caller's, and those inside the C library, such as the allocator's) stay held. The layer's own
// locks and references are safe: a termination (or a suspension) that lands inside one of its
// calls waits until the call has let go of them. The thread then ends as if it had returned,
// and the C library reclaims its stack. GetExitCodeThread answers the code as soon as this
// returns; the handle is signaled once the thread has stopped.
KST_API BOOL TerminateThread(HANDLE thread, DWORD exitCode);
// STILL_ACTIVE (259) while the thread runs.
KST_API BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Priorities are recorded but not applied (they would need privileges on Linux).
KST_API BOOL SetThreadPriority(HANDLE thread, int priority);
KST_API int GetThreadPriority(HANDLE thread);
