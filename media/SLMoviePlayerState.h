// The movie player's state, shared by its caller-side operations, its thread and its
// drawing. One per player, made on first need and kept until the player is destroyed.
//
// Commands and their answers carry sequence numbers: the command word holds the number of
// the newest command (times 4) plus its kind, and the acknowledgement word the number of
// the newest command the thread has answered. A caller waits for its own number, so the
// late answer to an earlier command is never taken for the answer to a new one.
#pragma once

#include <atomic>

#include "foundation/SLSync.h"
#include "media/SLMoviePlayer.h"

namespace SLInternals {

enum : u32 {
  kPlayerCommandPlay = 1,
  kPlayerCommandStop = 2,
};

enum : u32 {
  kPlayerIdle = 0,
  kPlayerPlaying = 1,
  kPlayerStopping = 2,
};

enum : u32 {
  kPlayVideo = 1,
  kPlaySound = 2,
};

inline constexpr u32 kRingBlocks = 50;
inline constexpr u64 kRingEmpty = ~u64(0);
inline constexpr u64 kNoPicture = ~u64(0);

// The state lock, which the waits of Stop and Play release and take again.
class CSLPlayerLock {
 public:
  explicit CSLPlayerLock(CSLCriticalSection* section) : m_section(section), m_held(false) {}
  ~CSLPlayerLock() { Leave(); }
  bool Enter() {
    if (!m_held) m_held = m_section->Enter();
    return m_held;
  }
  void Leave() {
    if (m_held) m_section->Leave();
    m_held = false;
  }
  CSLPlayerLock(const CSLPlayerLock&) = delete;
  CSLPlayerLock& operator=(const CSLPlayerLock&) = delete;

 private:
  CSLCriticalSection* m_section;
  bool m_held;
};

}  // namespace SLInternals

struct SL_GS_MoviePlayerState {
  CSL_GS_MoviePlayer* owner = nullptr;
  CSLCriticalSection lock;
  std::atomic<bool> suppressStopEvent{false};  // set while SeekToFrame restarts playback
  CSLBaseVideoAudioReader* reader = nullptr;
  CSL_GS_BaseGfx* gfx = nullptr;
  CSL_GS_BaseSfx* sfx = nullptr;
  CSLSyncEvent commandEvent;  // manual reset
  std::atomic<u64> acknowledged{0};
  std::atomic<u64> command{0};
  u64 nextSequence = 0;  // under the lock

  u32 videoStream = 0;  // stream number + 1; 0 without video
  SLVideoFormat videoFormat{};
  u64 videoFrames = 0;
  double framesPerSecond = 0;
  u32 audioStream = 0;  // stream number + 1; 0 without sound
  SLAudioFormat audioFormat{};
  u64 audioLength = 0;
  u64 totalFrames = 0;

  std::atomic<u32> result{0};
  std::atomic<u32> threadState{SLInternals::kPlayerIdle};
  u32 loop = 0;
  double speed = 1.0;
  u64 currentFrame = 0;
  u32 playFlags = 0;

  const void* picture = nullptr;
  u32 pictureSize = 0;
  u64 pictureFrame = SLInternals::kNoPicture;

  SL_GS_SoundRecord* sound = nullptr;
  u64 firstSample = 0;
  u64 blockSize = 0;
  u64 ring[SLInternals::kRingBlocks] = {};
  u32 ringBlock = 0;
  u64 soundClock = 0;
  u32 volume = 100;
  i32 pan = 0;

  // Pacing without sound.
  u32 tickMs = 50;
  i32 direction = 1;
  double pendingFrames = 0;  // frames of elapsed time not stepped yet
  u32 lastClockMs = 0;

  TSLClassWorkerThread<CSL_GS_MoviePlayer>* worker = nullptr;
  CSLSyncEvent stoppedEvent;  // auto reset
};
