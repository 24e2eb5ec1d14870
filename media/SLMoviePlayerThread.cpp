// The player thread and the worker.
//
// The player thread alternates between two phases:
//   idle     waits for a command; a stop is answered at once, a play starts playback
//            (the caller holds the state lock and waits for the answer meanwhile, so the
//            start may use the reader without it) and answers with the start's result;
//   playing  a tick every tick period, under the state lock: with sound the voice's
//            position in the ring gives the sample being heard and the frame, and the
//            blocks the voice has left are refilled; without sound the frame steps with
//            the time that passed. Any command, the end of the movie without looping or a
//            failure leaves playback, and the worker then sends one stopping event.
//
// The ring: 50 blocks of a tenth of a second. Each block's entry in the ring table is the
// sample position it holds. Positions past the end of a sound that does not loop are read
// as nothing and the block is padded with silence, so the clock runs on into silence and
// reaches the end instead of wrapping back to the start.
#include <cmath>
#include <cstring>

#include "foundation/SLError.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/SLSfx.h"
#include "media/SLMoviePlayer.h"
#include "media/SLMoviePlayerState.h"

using namespace SLInternals;

void CSL_GS_MoviePlayer::Run() {
  SL_GS_MoviePlayerState* const state = m_state;
  HANDLE commandEvent = state->commandEvent.GetHandle();
  for (;;) {
    state->threadState.store(kPlayerIdle);
    i32 which = 0;
    if (WaitForEvents(INFINITE, 1, &commandEvent, &which)) return;
    state->commandEvent.Reset();
    const u64 command = state->command.exchange(0);
    if (!command) continue;
    const u64 sequence = command >> 2;
    if ((command & 3) != kPlayerCommandPlay) {
      state->acknowledged.store(sequence);
      continue;
    }
    SLSetLastError(SL_OK);
    if (!StartPlayback()) {
      const u32 code = SLGetLastError();
      state->result.store(code ? code : SL_E_SYSTEM);
      state->acknowledged.store(sequence);
      continue;
    }
    state->threadState.store(kPlayerPlaying);
    state->acknowledged.store(sequence);

    bool threadEnding = false;
    for (;;) {
      if (WaitForEvents(state->tickMs, 1, &commandEvent, &which)) {
        threadEnding = true;
        break;
      }
      if (which != 0) break;  // a command: the idle phase takes it
      SLCriticalSectionLock lock(&state->lock);
      bool ended = false;
      if (state->playFlags & kPlaySound) {
        if (!SoundTick(&ended)) break;
      } else {
        StepTick(&ended);
      }
      if (ended) {
        const bool forward = state->direction > 0;
        state->currentFrame = forward || state->totalFrames == 0 ? 0 : state->totalFrames - 1;
        state->pendingFrames = 0;
        if (!state->loop) break;
      }
    }
    LeavePlayback(threadEnding);
    if (threadEnding) return;
  }
}

bool CSL_GS_MoviePlayer::StartPlayback() {
  SL_GS_MoviePlayerState* const state = m_state;
  const bool video = (state->playFlags & kPlayVideo) != 0;
  if (state->playFlags & kPlaySound) {
    CSL_GS_BaseSfx* const sfx = state->sfx;
    const SLAudioFormat& format = state->audioFormat;
    const u64 blockSize = format.samplesPerSecond / 10 > 16 ? format.samplesPerSecond / 10 : 16;
    if (!SLFitsU32(blockSize * kRingBlocks)) return SLFail(SL_E_BAD_TARGET_FORMAT, false);
    state->blockSize = blockSize;
    state->sound = sfx->CreateSound(u32(blockSize * kRingBlocks), &format, 1);
    if (!state->sound) return false;
    u64 start = state->currentFrame;
    if (video) start = u64(double(state->currentFrame) / state->framesPerSecond * format.samplesPerSecond);
    state->ringBlock = 0;
    state->soundClock = start;
    state->firstSample = start;
    for (u64& entry : state->ring) entry = kRingEmpty;
    u64 position = start;
    for (u32 block = 0; block < kRingBlocks; ++block, position += blockSize) {
      if (position >= state->audioLength && state->loop) position = 0;
      if (!FillRingBlock(block, position)) return false;
      state->ring[block] = position;
    }
    SL_GS_SoundRecord* const sound = state->sound;
    if ((state->speed < 0.9999999999 || state->speed > 1.0000000001) && !sfx->SetSpeed(sound, 1, state->speed))
      return false;
    if (!sfx->SetVolume(sound, 1, state->volume) || !sfx->SetPan(sound, 1, state->pan) ||
        !sfx->Play(sound, 1, nullptr, 0, 1.0))
      return false;
  }
  if (video) {
    state->picture = nullptr;
    state->pictureFrame = kNoPicture;
  }
  state->tickMs = 50;
  if (video && 1000 / state->framesPerSecond < 50) {
    const double period = std::trunc(1000 / state->framesPerSecond);
    state->tickMs = period < 1 ? 1 : u32(period);
  }
  state->direction = state->speed < 0 ? -1 : 1;
  state->pendingFrames = 0;
  state->lastClockMs = SL_GS_GetTimeMs();
  return SLSucceed(true);
}

bool CSL_GS_MoviePlayer::FillRingBlock(u32 block, u64 position) {
  SL_GS_MoviePlayerState* const state = m_state;
  SL_GS_SoundRecord* const sound = state->sound;
  const u32 blockSize = u32(state->blockSize);
  const void* samples = nullptr;
  u32 got = 0;
  if (!state->reader->ReadAudio(state->audioStream - 1, position, blockSize, &samples, &got)) return false;
  if (got > blockSize || !samples) got = 0;
  void* regions[2] = {};
  u32 frames[2] = {};
  if (!state->sfx->Lock(&regions[0], &frames[0], &regions[1], &frames[1], sound, block * blockSize, blockSize))
    return false;
  const u32 align = sound->format.blockAlign;
  const u8 silence = sound->format.bitsPerSample == 8 ? 128 : 0;
  u64 copied = 0;
  const u64 available = u64(got) * align;
  for (u32 i = 0; i < 2; ++i) {
    if (!regions[i]) continue;
    const u64 bytes = u64(frames[i]) * align;
    const u64 take = available - copied < bytes ? available - copied : bytes;
    if (take) std::memcpy(regions[i], static_cast<const u8*>(samples) + copied, take);
    std::memset(static_cast<u8*>(regions[i]) + take, silence, bytes - take);
    copied += take;
  }
  return state->sfx->Unlock(sound);
}

bool CSL_GS_MoviePlayer::SoundTick(bool* ended) {
  SL_GS_MoviePlayerState* const state = m_state;
  u32 position = 0;
  if (!state->sfx->GetPlayPosition(state->sound, 1, &position)) return false;
  const u64 blockSize = state->blockSize;
  u32 block = u32(position / blockSize);
  if (block >= kRingBlocks) block = kRingBlocks - 1;
  const u64 within = position % blockSize;
  if (state->ring[block] != kRingEmpty)
    state->soundClock = state->ring[block] + within;
  else
    state->soundClock = (state->soundClock / blockSize + 1) * blockSize;
  if (state->playFlags & kPlayVideo)
    state->currentFrame = u64(double(state->soundClock) / state->audioFormat.samplesPerSecond * state->framesPerSecond);
  else
    state->currentFrame = state->soundClock;

  if (block != state->ringBlock) {
    state->ringBlock = block;
    state->ring[(block + kRingBlocks - 1) % kRingBlocks] = kRingEmpty;
    u64 position = state->ring[block] != kRingEmpty ? state->ring[block] : state->soundClock / blockSize * blockSize;
    for (u32 step = 1; step < kRingBlocks; ++step) {
      const u32 next = (block + step) % kRingBlocks;
      position += blockSize;
      if (position >= state->audioLength && state->loop) position = 0;
      if (state->ring[next] != position) {
        if (!FillRingBlock(next, position)) return false;
        state->ring[next] = position;
      }
    }
  }
  *ended = state->currentFrame >= state->totalFrames;
  return true;
}

void CSL_GS_MoviePlayer::StepTick(bool* ended) {
  SL_GS_MoviePlayerState* const state = m_state;
  const u32 now = SL_GS_GetTimeMs();
  const u32 elapsed = now - state->lastClockMs;
  state->lastClockMs = now;
  state->pendingFrames += elapsed / 1000.0 * state->framesPerSecond * std::fabs(state->speed);
  // A stall longer than the movie ends it all the same.
  if (state->pendingFrames > double(state->totalFrames) + 1) state->pendingFrames = double(state->totalFrames) + 1;
  const u64 steps = u64(state->pendingFrames);
  state->pendingFrames -= double(steps);
  if (!steps) return;
  if (state->direction > 0) {
    if (steps >= state->totalFrames - state->currentFrame)
      *ended = true;
    else
      state->currentFrame += steps;
  } else {
    if (steps >= state->currentFrame)
      *ended = true;
    else
      state->currentFrame -= steps;
  }
}

void CSL_GS_MoviePlayer::LeavePlayback(bool threadEnding) {
  SL_GS_MoviePlayerState* const state = m_state;
  {
    SLCriticalSectionLock lock(&state->lock);
    state->threadState.store(kPlayerStopping);
    if ((state->playFlags & kPlaySound) && state->sound && state->sfx) {
      SLErrorKeeper keeper;
      state->sfx->Stop(state->sound, 0);
    }
  }
  // Read before the idle phase answers the stop that SeekToFrame waits for: SeekToFrame
  // clears the flag once that answer has come.
  const bool quiet = threadEnding || state->suppressStopEvent.load();
  state->threadState.store(kPlayerIdle);
  if (!quiet) state->stoppedEvent.Set();
}

void CSL_GS_MoviePlayer::WaitAndNotifyStopped() {
  CSL_GS_MoviePlayerStoppingEvent event;
  SL_GS_MoviePlayerState* const state = m_state;
  HANDLE stopped = state->stoppedEvent.GetHandle();
  for (;;) {
    i32 which = 0;
    if (state->worker->WaitForEvents(INFINITE, 1, &stopped, &which)) return;
    if (which == 1) Send(&event);
  }
}
