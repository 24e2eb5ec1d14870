// Threads with a start handshake and a cooperative stop.
#pragma once

#include "foundation/SLObject.h"
#include "foundation/SLSync.h"

enum : u32 {
  SL_E_THREAD_RUNNING = 0x80080001,  // Start while the thread runs (with true)
  SL_E_THREAD_START = 0x80080002,
  // Stop's time-out ran out before the thread ended. The thread is never killed: the
  // object keeps its handle and a later Stop (the destructor's unlimited one) joins it.
  SL_E_THREAD_STOP_TIMEOUT = 0x80080003,
};

class CSLThread : public CSLObject {
  SL_DECLARE_CLASS(CSLThread)
 public:
  CSLThread();
  ~CSLThread() override;
  virtual bool Start(bool suspended = false);
  virtual void Run() = 0;

  bool Stop(u32 ms);
  bool IsRunning() const;
  // Inside Run: waits on {thread, exit, stop, handles...}; see the source for `which`.
  bool WaitForEvents(u32 ms, u32 count, const HANDLE* handles, i32* which);
  bool SetPriority(i32 priority);
  HANDLE GetStopEvent() const { return m_stopEvent.GetHandle(); }
  u32 GetThreadId() const { return m_threadId; }

 protected:
  i32 m_priority;
  HANDLE m_thread;
  u32 m_threadId;
  CSLSyncEvent m_stopEvent;
  CSLSyncEvent m_exitEvent;
};

class CSLWorkerThread : public CSLThread {
  SL_DECLARE_CLASS(CSLWorkerThread)
 public:
  using Callback = u32 (*)(CSLWorkerThread* thread, std::uintptr_t parameter);
  CSLWorkerThread(Callback callback = nullptr, std::uintptr_t parameter = 0);
  ~CSLWorkerThread() override;
  bool SetCallback(Callback callback, std::uintptr_t parameter);
  void Run() override;

 private:
  Callback m_callback;
  std::uintptr_t m_parameter;  // pointer-sized, so callers may pass an object
};
