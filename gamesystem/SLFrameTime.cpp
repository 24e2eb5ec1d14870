#include "gamesystem/SLFrameTime.h"

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLSingleton.h"
#include "platform/wintypes.h"

namespace SLInternals {

// The clock's entry points, bound by name: the performance counter of "kernel32.dll"
// and, as the fallback, the multimedia timer of "winmm.dll".
class CSL_GS_FrameTime_ApiLoader : public CSLBaseOODClass {
 public:
  bool Initialize() override {
    if (HMODULE kernel = SLLoadLibrary(u"kernel32.dll")) {
      SLBindProc(kernel, u"QueryPerformanceCounter", &m_queryPerformanceCounter);
      SLBindProc(kernel, u"QueryPerformanceFrequency", &m_queryPerformanceFrequency);
    }
    if (HMODULE winmm = SLLoadLibrary(u"winmm.dll")) SLBindProc(winmm, u"timeGetTime", &m_timeGetTime);
    LARGE_INTEGER frequency{};
    // A counter slower than a tick per 1e10 ms is no use as a millisecond clock.
    if (m_queryPerformanceCounter && m_queryPerformanceFrequency && m_queryPerformanceFrequency(&frequency) &&
        frequency.QuadPart > 0 && frequency.QuadPart <= 10000000000000LL)
      m_frequency = u64(frequency.QuadPart);
    return true;
  }

  u32 ReadMs() {
    LARGE_INTEGER counter{};
    if (m_frequency && m_queryPerformanceCounter(&counter)) {
      // Whole seconds and the rest apart: exact, where counter x (1000 / frequency) in
      // doubles can land just below a millisecond it has reached.
      const u64 ticks = u64(counter.QuadPart);
      return u32(ticks / m_frequency * 1000 + ticks % m_frequency * 1000 / m_frequency);
    }
    return m_timeGetTime ? m_timeGetTime() : 0;
  }

 private:
  BOOL (*m_queryPerformanceCounter)(LARGE_INTEGER*) = nullptr;
  BOOL (*m_queryPerformanceFrequency)(LARGE_INTEGER*) = nullptr;
  DWORD (*m_timeGetTime)() = nullptr;
  u64 m_frequency = 0;  // 0: the counter is not used
};

namespace {
CSL_GS_FrameTime_ApiLoader* g_clockLoader = nullptr;
}

}  // namespace SLInternals

namespace {

SLInternals::CSL_GS_FrameTime_ApiLoader* ClockLoader() {
  return SLGetSingleton(SLInternals::g_clockLoader, SL_OOD_PRIORITY_DEVICE_LOADERS);
}

// Milliseconds from `from` to `to`; a reading in the same millisecond or one that went
// back (the clock wrapped or jumped) counts as one.
u32 ElapsedMs(u32 from, u32 to) { return to > from ? to - from : 1; }

}  // namespace

u32 SL_GS_GetTimeMs() {
  SLInternals::CSL_GS_FrameTime_ApiLoader* loader = ClockLoader();
  return loader ? loader->ReadMs() : 0;
}

SL_IMPLEMENT_CLASS(CSL_GS_FrameTime, CSLObject)

CSL_GS_FrameTime::CSL_GS_FrameTime()
    : m_rate(60),
      m_lastReading(SL_GS_GetTimeMs()),
      m_credit(1000),
      m_framesPerSecond(60.0),
      m_accumulatedMs(0),
      m_framesSinceMeasure(0),
      m_framesInAll(0),
      m_frameStart(0),
      m_drawFlag(0) {}

void CSL_GS_FrameTime::SetRate(u32 ticksPerSecond) {
  m_rate = ticksPerSecond ? ticksPerSecond : 1;
  m_lastReading = 0;
  if (ClockLoader())
    m_lastReading = SL_GS_GetTimeMs();
  else
    SLSetLastError(SL_E_OUT_OF_MEMORY);
  m_accumulatedMs = 0;
  m_framesSinceMeasure = 0;
  m_framesInAll = 0;
  m_frameStart = 0;
  m_drawFlag = 0;
  m_credit = 1000;
}

bool CSL_GS_FrameTime::IsDrawTime() {
  const u32 now = SL_GS_GetTimeMs();
  m_credit += u64(m_rate) * ElapsedMs(m_lastReading, now);
  m_lastReading = now;
  const u64 tickCost = 1000 + u64(m_rate);
  if (m_credit < tickCost) {
    m_drawFlag = 1;
    return true;
  }
  // The cap bounds the ticks caught up after a stall (seven in a row at 60 per second);
  // it never falls below one tick's cost, or a high rate could never draw again.
  const u64 cap = tickCost > 8000 ? tickCost : 8000;
  if (m_credit > cap) m_credit = cap;
  m_credit -= tickCost;
  m_drawFlag = 0;
  return false;
}

void CSL_GS_FrameTime::BeginFrame() { m_frameStart = SL_GS_GetTimeMs(); }

void CSL_GS_FrameTime::EndFrame() {
  const u32 now = SL_GS_GetTimeMs();
  if (now > m_frameStart) m_accumulatedMs += now - m_frameStart;
  ++m_framesSinceMeasure;
  ++m_framesInAll;
  if (m_accumulatedMs >= 1000 && m_framesSinceMeasure >= 12) {
    double measured = double(m_framesSinceMeasure) * 1000.0 / double(m_accumulatedMs);
    m_framesPerSecond = measured < 0.001 ? 0.001 : measured;
    m_framesSinceMeasure = 0;
    m_accumulatedMs = 0;
  }
}
