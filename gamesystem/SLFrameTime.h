// Frame pacing of the screen loops: a fixed rate of logic ticks, frames drawn in the
// time between, and the frames per second measured over the drawn frames.
#pragma once

#include "foundation/SLObject.h"

// Milliseconds of the system's steady clock as an unsigned 32-bit value that wraps:
// the performance counter, else the multimedia timer, else 0.
u32 SL_GS_GetTimeMs();

class CSL_GS_FrameTime : public CSLObject {
  SL_DECLARE_CLASS(CSL_GS_FrameTime)
 public:
  CSL_GS_FrameTime();

  // Restarts pacing at `ticksPerSecond` (0 counts as 1). 0x80000001 when the clock
  // cannot be read.
  void SetRate(u32 ticksPerSecond);
  // True: draw a frame now; false: run one logic tick now.
  bool IsDrawTime();
  void BeginFrame();
  void EndFrame();

  u32 GetRate() const { return m_rate; }
  double GetFramesPerSecond() const { return m_framesPerSecond; }
  u32 GetFrameCount() const { return m_framesInAll; }

 private:
  u32 m_rate;
  u32 m_lastReading;
  // Earned rate units per millisecond; a tick costs 1000 + rate. Kept in 64 bits: a
  // stall of hours earns more than 32 bits hold.
  u64 m_credit;
  double m_framesPerSecond;
  u32 m_accumulatedMs;
  u32 m_framesSinceMeasure;
  u32 m_framesInAll;
  u32 m_frameStart;
  u32 m_drawFlag;
};
