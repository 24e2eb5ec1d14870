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
  SL_E_OPERATION_FAILED = 0x80002002,   // a wait or an operation failed
  SL_E_NOT_SUPPORTED = 0x80002003,
  SL_E_SYSTEM = 0x80002006,
  SL_E_CANCELLED = 0x80002011,
  SL_E_NOT_FOUND = 0x80010001,
  SL_E_NOT_INITIALISED = 0x80010002,
};

// Codes that several areas give, each by its one name; an area header names only the
// codes that mean something else there.
enum : u32 {
  SL_E_BAD_FORMAT = 0x80001004,          // a format, encoding or description not valid for the call
  SL_E_BAD_TARGET_FORMAT = 0x80001007,   // a destination format not valid for the call
  SL_E_OVERFLOW = 0x80002004,            // a value too large for its type or range
  SL_E_SETTING_UNSUPPORTED = 0x80002020, // the device does not offer that setting
  SL_E_ALREADY_INITIALISED = 0x80010003, // Init of an object or device already set up
  SL_E_ALREADY_EXISTS = 0x80010006,      // a directory or item of that name exists already
  SL_E_BUSY = 0x80010008,                // in use: a pass, direction or menu already running
  SL_E_LOCK_FAILED = 0x8001000B,         // a lock (event lock, texture, sound buffer) not taken
  SL_E_SETUP_FAILED = 0x8001000F,        // a system object or device could not be set up
  SL_E_NOT_AVAILABLE = 0x80010010,       // what the call needs is missing or not ready now
  SL_E_HELD = 0x80010011,                // held by an earlier call (locked, playing)
  SL_E_NOT_HELD = 0x80010012,            // a release of what is not held
  SL_E_CANNOT_SEEK = 0x80020014,         // a container over a source that cannot seek
  SL_E_MALFORMED = 0x80020016,           // damaged, malformed or unsupported data structure
  SL_E_UNSUPPORTED_VARIANT = 0x80020018, // a variant of a format that is not decoded or written
  SL_E_BAD_CONTAINER = 0x8002001D,       // an archive whose directory cannot be read
  SL_E_DATA_ENDED = 0x80020034,          // the data ended before the structure it holds
  SL_E_BAD_CHARACTER = 0x80060007,       // a character not representable, malformed or not allowed
  SL_E_DECODE = 0x80090001,              // a decoder refused the stream (corrupt input)
  SL_E_DECODE_DATA = 0x80090003,         // a decoder failed on a frame's data
  SL_E_NOT_STARTED = 0x80090006,         // decoding was not started
  SL_E_ALREADY_STARTED = 0x80090007,     // decoding was started already
  SL_E_LIBRARY_NOT_LOADED = 0x800E0001,  // a system library is missing
  SL_E_ENTRY_MISSING = 0x800E0002,       // a system library lacks an entry point
  SL_E_AUDIO_FORMAT = 0x800F0007,        // a sound format that cannot be converted or played
  SL_E_NO_DECODABLE_DATA = 0x800F0008,   // no stream, picture or sound data that can be decoded
  SL_E_NO_VIDEO_STREAM = 0x800F0009,     // a media file without a video stream
  SL_E_NO_AUDIO_STREAM = 0x800F000A,     // a media file without a sound stream
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
