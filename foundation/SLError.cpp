// Interim: the error code in a C++ thread-local until the TLS-index form lands.
#include "foundation/SLError.h"

namespace {
thread_local u32 t_lastError = 0;
}

bool SLSetLastError(u32 code) {
  t_lastError = code;
  return true;
}

u32 SLGetLastError(bool reset) {
  u32 code = t_lastError;
  if (reset) t_lastError = 0;
  return code;
}
