// Kernel services of the stand-in: handles, events, threads, waits, sleep, critical sections,
// the local heap, the last error and safe copies.
//
// Every Sleep and timed wait runs on the platform clock (ce/host/clock.h), whose time scale a
// test or a host may set; GetTickCount reads the same clock.
#pragma once

#include "ce/types.h"

extern "C" {

// --- handles ---------------------------------------------------------------------------------
// CloseHandle closes any object of the handle table: events, threads and the stream handles
// that CreateFile returns. A closed or unknown handle gives FALSE with error 6; closing the
// pseudo handle of GetCurrentThread does nothing and succeeds.
BOOL CloseHandle(HANDLE hObject);

// --- events ----------------------------------------------------------------------------------
using LPSECURITY_ATTRIBUTES = void*;
HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                    LPCWSTR lpName);
BOOL SetEvent(HANDLE hEvent);
BOOL ResetEvent(HANDLE hEvent);

// Waits on an event or a thread (signalled when the thread has ended).
// Returns WAIT_OBJECT_0, WAIT_TIMEOUT (258), or WAIT_FAILED for a closed or foreign handle.
// An auto-reset event is reset by the one wait it releases. When the last handle of an object
// is closed while threads wait on it, they are woken with WAIT_FAILED (error 6), since nothing
// could signal the object any more. A timed wait lasts the real time that the time scale in
// force at its start gives.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// --- threads ---------------------------------------------------------------------------------
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID lpParameter);
// Starts the routine at once; the stack size is ignored and CREATE_SUSPENDED is refused with
// error 87 (there is no ResumeThread). Closing the handle does not stop the thread.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, DWORD dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId);
HANDLE GetCurrentThread();
DWORD GetCurrentThreadId();
// Levels 0 (THREAD_PRIORITY_TIME_CRITICAL) to 7 (THREAD_PRIORITY_IDLE) are accepted and
// remembered; on Linux they are applied as a nice value where the host allows it. The pseudo
// handle of GetCurrentThread names the calling thread. Others give FALSE with error 87.
BOOL SetThreadPriority(HANDLE hThread, int nPriority);
int GetThreadPriority(HANDLE hThread);  // THREAD_PRIORITY_ERROR_RETURN for a bad handle
// STILL_ACTIVE while the thread runs, then the value its routine returned.
BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);

// --- time ------------------------------------------------------------------------------------
void Sleep(DWORD dwMilliseconds);
DWORD GetTickCount();

// --- last error (per thread) -----------------------------------------------------------------
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// --- critical sections (re-entrant) ----------------------------------------------------------
// A Leave by a thread that does not own the section is ignored.
struct CRITICAL_SECTION {
    void* impl;  // owned by the stand-in between Initialize and Delete
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// --- local heap ------------------------------------------------------------------------------
// LMEM_FIXED with or without LMEM_ZEROINIT; other flags are refused with error 87. A block of
// 0 bytes is still a distinct pointer; more than 0xFFFFFFFF bytes fail with error 8, as in a
// 32-bit address space. Calls are counted (ce/host/heap_stats.h).
using HLOCAL = void*;
HLOCAL LocalAlloc(UINT uFlags, std::size_t uBytes);
HLOCAL LocalFree(HLOCAL hMem);  // returns null on success

// --- libraries -------------------------------------------------------------------------------
BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

// --- safe copies -----------------------------------------------------------------------------
// Copies cbSize bytes and returns TRUE, or FALSE with nothing copied when a pointer is null or
// a range wraps around the address space. On Windows CE the kernel also catches an access
// fault on an unmapped caller buffer; this stand-in cannot: a non-null pointer to too little
// memory is still read or written, so callers check buffer lengths themselves.
BOOL CeSafeCopyMemory(LPVOID pDst, LPCVOID pSrc, DWORD cbSize);

}  // extern "C"

inline constexpr UINT LMEM_FIXED = 0x0000;
inline constexpr UINT LMEM_ZEROINIT = 0x0040;
inline constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 0;
inline constexpr int THREAD_PRIORITY_HIGHEST = 1;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 2;
inline constexpr int THREAD_PRIORITY_NORMAL = 3;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = 4;
inline constexpr int THREAD_PRIORITY_LOWEST = 5;
inline constexpr int THREAD_PRIORITY_IDLE = 7;

inline constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;

inline constexpr DWORD CREATE_SUSPENDED = 0x00000004;
inline constexpr DWORD STILL_ACTIVE = 259;

#define CreateEvent CreateEventW
