// Threads, events, waits, critical sections and clocks of the "kernel32.dll" stand-in.
// The framework imports these directly (critical sections, events, thread creation,
// yields, the performance counter) or binds them by name through the kernel table.
#pragma once

#include <memory>

#include "platform/kernel32/Handles.h"

// The pseudo handle GetCurrentThread answers: "the calling thread" wherever it is used.
inline const HANDLE SL_CURRENT_THREAD_HANDLE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2));
// The pseudo handle of the current process (what GetCurrentProcess answers).
inline const HANDLE SL_CURRENT_PROCESS_HANDLE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

inline constexpr DWORD SL_CREATE_SUSPENDED = 0x4;
inline constexpr DWORD SL_DUPLICATE_CLOSE_SOURCE = 0x1;
inline constexpr DWORD SL_DUPLICATE_SAME_ACCESS = 0x2;
// TerminateThread refuses with this: a thread killed while holding a lock would leave
// it held for ever.
inline constexpr DWORD SL_ERROR_NOT_SUPPORTED = 50;

// A thread as a kernel object: signalled once its start routine has returned.
class SLThreadObject : public SLKernelObject {
 public:
  SLThreadObject() : SLKernelObject(Kind::Thread) {}
  bool IsWaitable() const override { return true; }
  bool IsSignalled() const override { return finished; }

  // All fields change under the wait lock.
  DWORD threadId = 0;
  DWORD exitCode = STILL_ACTIVE;
  bool finished = false;
  bool started = false;    // the new thread has published its id
  DWORD suspendCount = 0;  // honoured at the thread's next yield, sleep or wait
};

// The calling thread's object (one is made for threads this layer did not start).
std::shared_ptr<SLThreadObject> SLCurrentThreadObject();

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

// Critical sections (recursive). Entering one that was never initialised (or was
// deleted) raises a C++ exception, the stand-in's form of the system's fault.
void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);

// Events. Named events are kept in a process-local table: a second create with the
// same name opens the first and reports ERROR_ALREADY_EXISTS.
HANDLE CreateEventA(LPVOID security, BOOL manualReset, BOOL initialState, LPCSTR name);
HANDLE CreateEventW(LPVOID security, BOOL manualReset, BOOL initialState, LPCWSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

// Waits: at most MAXIMUM_WAIT_OBJECTS handles; WAIT_OBJECT_0 + index, WAIT_TIMEOUT or
// WAIT_FAILED (system error set).
DWORD WaitForSingleObject(HANDLE handle, DWORD ms);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms);
// The wait under "user32.dll"'s MsgWaitForMultipleObjects (platform/user32): the
// handles, or input in the calling thread's queue as the probe below reports it.
DWORD SLWaitForObjectsOrMessages(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms,
                                 DWORD wakeMask);
// Called under the wait lock: true when the calling thread's queue holds input that
// `wakeMask` asks for. The queue calls SLWaitNotifyAll whenever it receives input.
using SLMessageWaitProbe = bool (*)(DWORD wakeMask);
void SLSetMessageWaitProbe(SLMessageWaitProbe probe);

// Threads.
HANDLE CreateThread(LPVOID security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, DWORD* threadId);
// The C runtime's thread start: the same as CreateThread, the handle as an integer (0 on failure).
std::uintptr_t _beginthreadex(void* security, unsigned stackSize, unsigned (*start)(void*), void* arglist,
                              unsigned flags, unsigned* threadId);
HANDLE GetCurrentThread();
BOOL GetExitCodeThread(HANDLE thread, DWORD* exitCode);
BOOL TerminateThread(HANDLE thread, DWORD exitCode);  // always refused
BOOL SetThreadPriority(HANDLE thread, int priority);
// Suspension is a count: a thread suspended by another stops at its next Sleep, SleepEx,
// SwitchToThread or wait until ResumeThread brings the count back to 0. A thread that
// suspends itself stops at once.
DWORD SuspendThread(HANDLE thread);
DWORD ResumeThread(HANDLE thread);

BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, HANDLE* target,
                     DWORD access, BOOL inheritable, DWORD options);
BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD ms);
DWORD SleepEx(DWORD ms, BOOL alertable);
BOOL SwitchToThread();

// The monotonic clock in nanoseconds.
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
