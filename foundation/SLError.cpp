// The per-thread error code: one thread-local word per thread, zero when the thread starts.
#include "foundation/SLError.h"

namespace SLInternals {
constinit thread_local u32 t_lastErrorCode = 0;
}  // namespace SLInternals
