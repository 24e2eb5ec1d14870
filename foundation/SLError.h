// The per-thread error code: every framework operation sets it on every path
// (0 on success) besides returning its result.
#pragma once

#include "foundation/SLTypes.h"

namespace SLInternals {
// The calling thread's code. It needs no construction, so every access compiles to one
// thread-local load or store (no initialisation check, no call).
extern constinit thread_local u32 t_lastErrorCode;
}  // namespace SLInternals

// Stores the code for the calling thread; always true (the storage cannot fail).
inline bool SLSetLastError(u32 code) {
  SLInternals::t_lastErrorCode = code;
  return true;
}

// The calling thread's code (0 when the thread never set one); with `reset` it becomes 0.
inline u32 SLGetLastError(bool reset = false) {
  u32 code = SLInternals::t_lastErrorCode;
  if (reset) SLInternals::t_lastErrorCode = 0;
  return code;
}

// General codes; each area's own codes are named next to its interface.
enum : u32 {
  SL_OK = 0,
  SL_E_OUT_OF_MEMORY = 0x80000001,       // or a system resource is not available
  SL_E_BUFFER_TOO_SMALL = 0x80000002,
  SL_E_INVALID_ARG = 0x80001001,
  SL_E_NULL_DATA = 0x80001002,
  SL_E_BAD_SIZE = 0x80001003,
  SL_E_NULL_OUTPUT = 0x80001005,
  SL_E_OUTPUT_SIZE_ZERO = 0x80001006,
  SL_E_INDEX = 0x80001008,
  SL_E_EMPTY_NAME = 0x8000100d,
  SL_E_NO_MORE = 0x80002001,
  SL_E_WAIT_FAILED = 0x80002002,
  SL_E_NOT_SUPPORTED = 0x80002003,
  SL_E_SYSTEM = 0x80002006,
  SL_E_CANCELLED = 0x80002011,
  SL_E_NOT_FOUND = 0x80010001,
  SL_E_NOT_INITIALISED = 0x80010002,
};

// Keeps the caller's error code across clean-up work (destructors, close paths):
// takes the code on construction and puts it back on destruction.
class SLErrorKeeper {
 public:
  SLErrorKeeper() : m_saved(SLGetLastError(false)) {}
  ~SLErrorKeeper() { SLSetLastError(m_saved); }
  SLErrorKeeper(const SLErrorKeeper&) = delete;
  SLErrorKeeper& operator=(const SLErrorKeeper&) = delete;

 private:
  u32 m_saved;
};

// Runs a clean-up action when the scope ends, unless dismissed; the caller's error code
// stays as it was:
//   auto closeFile = SLMakeScopeGuard([&] { storage->Close(); });
template <class Action>
class TSLScopeGuard {
 public:
  explicit TSLScopeGuard(Action action) : m_action(static_cast<Action&&>(action)) {}
  ~TSLScopeGuard() {
    if (!m_active) return;
    SLErrorKeeper keep;
    m_action();
  }
  void Dismiss() { m_active = false; }
  TSLScopeGuard(const TSLScopeGuard&) = delete;
  TSLScopeGuard& operator=(const TSLScopeGuard&) = delete;

 private:
  Action m_action;
  bool m_active = true;
};
template <class Action>
TSLScopeGuard<Action> SLMakeScopeGuard(Action action) {
  return TSLScopeGuard<Action>(static_cast<Action&&>(action));
}

// Clears the code and returns the given result, for one-line success paths:
//   return SLSucceed(true);
template <class T>
inline T SLSucceed(T result) {
  SLSetLastError(SL_OK);
  return result;
}

// Sets the code and returns the given result, for one-line failure paths:
//   if (!p) return SLFail(SL_E_NULL_DATA, false);
template <class T>
inline T SLFail(u32 code, T result) {
  SLSetLastError(code);
  return result;
}
