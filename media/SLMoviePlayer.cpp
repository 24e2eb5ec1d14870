// The movie player's caller side: the state and its threads, opening and closing a movie,
// the commands to the player thread, the queries and the attached devices. The player
// thread lives in SLMoviePlayerThread.cpp, the drawing in SLMoviePlayerRender.cpp.
#include "media/SLMoviePlayer.h"

#include <cmath>
#include <new>
#include <type_traits>

#include "foundation/SLError.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLSfx.h"
#include "media/SLMoviePlayerState.h"

SL_IMPLEMENT_CLASS(CSL_GS_MoviePlayerStoppingEvent, CSLBaseEvent)
SL_IMPLEMENT_CLASS(CSL_GS_MoviePlayer, CSLThread)

using SLInternals::CSLPlayerLock;
using namespace SLInternals;

CSL_GS_MoviePlayer::CSL_GS_MoviePlayer() : m_state(nullptr) {}

CSL_GS_MoviePlayer::~CSL_GS_MoviePlayer() {
  if (!m_state) return;
  SLErrorKeeper keeper;
  Close();
  SetGfx(nullptr);
  SetSfx(nullptr);
  DestroyState();
}

bool CSL_GS_MoviePlayer::CreateState() {
  if (m_state) return SLSucceed(true);
  auto* state = new (std::nothrow) SL_GS_MoviePlayerState;
  if (!state) return SLFail(SL_E_OUT_OF_MEMORY, false);
  state->owner = this;
  m_state = state;
  bool made = state->commandEvent.Create(true, false) && state->stoppedEvent.Create(false, false) &&
              CSLThread::Start(false);
  if (made) {
    state->worker = new TSLClassWorkerThread<CSL_GS_MoviePlayer>;  // null when out of memory
    made = state->worker && state->worker->StartMember(this, &CSL_GS_MoviePlayer::WaitAndNotifyStopped, false);
  }
  if (!made) {
    DestroyState();
    return SLFail(SL_E_OUT_OF_MEMORY, false);
  }
  return SLSucceed(true);
}

void CSL_GS_MoviePlayer::DestroyState() {
  CSLThread::Stop(INFINITE);
  if (m_state->worker) {
    m_state->worker->Stop(INFINITE);
    delete m_state->worker;
  }
  delete m_state;
  m_state = nullptr;
}

bool CSL_GS_MoviePlayer::IsOpen() const { return m_state && m_state->reader; }

bool CSL_GS_MoviePlayer::StopAndLock(CSLPlayerLock* lock) {
  SL_GS_MoviePlayerState* const state = m_state;
  for (;;) {
    if (!lock->Enter()) return SLFail(SL_E_SYSTEM, false);
    const u64 sequence = ++state->nextSequence;
    state->command.store(sequence << 2 | kPlayerCommandStop);
    state->commandEvent.Set();
    while (state->acknowledged.load() < sequence) {
      if (!IsRunning()) return SLFail(SL_E_SYSTEM, false);
      lock->Leave();
      SLSleep(1);
      if (!lock->Enter()) return SLFail(SL_E_SYSTEM, false);
    }
    // Another caller may have started playback while this one slept without the lock.
    if (state->threadState.load() == kPlayerIdle) return SLSucceed(true);
    lock->Leave();
  }
}

SL_GS_SoundRecord* CSL_GS_MoviePlayer::DropMovie() {
  SL_GS_MoviePlayerState* const state = m_state;
  if (state->reader) {
    SLErrorKeeper keeper;
    if (state->videoStream) state->reader->StopStream(state->videoStream - 1);
    if (state->audioStream) state->reader->StopStream(state->audioStream - 1);
    state->reader->Release();
    state->reader = nullptr;
  }
  state->videoStream = state->audioStream = 0;
  state->videoFormat = {};
  state->audioFormat = {};
  state->videoFrames = state->audioLength = state->totalFrames = 0;
  state->framesPerSecond = 0;
  state->currentFrame = 0;
  state->playFlags = 0;
  state->picture = nullptr;
  state->pictureSize = 0;
  state->pictureFrame = kNoPicture;
  state->volume = 100;
  state->pan = 0;
  SL_GS_SoundRecord* sound = state->sound;
  state->sound = nullptr;
  return sound;
}

void CSL_GS_MoviePlayer::DestroySound(CSL_GS_BaseSfx* sfx, SL_GS_SoundRecord* sound) {
  if (sfx && sound) {
    SLErrorKeeper keeper;
    sfx->DestroySoundAndClear(&sound);
  }
}

bool CSL_GS_MoviePlayer::Open(const char* path, const SLClassRecord* readerClass) {
  if (!path || !*path) return Close();
  if (readerClass && !SLClassRecord::IsDerivedFrom(readerClass, CSLBaseVideoAudioReader::GetClassRecord()))
    return SLFail(SL_E_INVALID_ARG, false);
  if (!CreateState()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SL_GS_MoviePlayerState* const state = m_state;
  CSLPlayerLock lock(&state->lock);
  if (!StopAndLock(&lock)) return false;
  SL_GS_SoundRecord* oldSound = DropMovie();
  CSL_GS_BaseSfx* const sfx = state->sfx;
  auto destroyOld = SLMakeScopeGuard([&] {
    lock.Leave();
    DestroySound(sfx, oldSound);
  });
  auto dropNew = SLMakeScopeGuard([&] {
    SLErrorKeeper keeper;
    DropMovie();
  });

  if (!readerClass && !(readerClass = CSLBaseVideoAudioReader::FindReaderClassByExtension(path))) return false;
  SLSetLastError(SL_OK);
  state->reader = static_cast<CSLBaseVideoAudioReader*>(SLCallGuarded(readerClass));
  if (!state->reader) return SLFail(SLGetLastError() ? SLGetLastError() : SL_E_OUT_OF_MEMORY, false);
  CSLBaseVideoAudioReader* const reader = state->reader;
  u32 streams = 0;
  if (!reader->OpenFile(path, 0) || !reader->GetStreamCount(&streams)) return false;
  for (u32 stream = 0; stream < streams; ++stream) {
    u32 type = 0;
    if (!reader->GetStreamType(stream, &type)) return false;
    if (type == SL_STREAM_VIDEO && !state->videoStream) state->videoStream = stream + 1;
    if (type == SL_STREAM_AUDIO && !state->audioStream) state->audioStream = stream + 1;
  }
  if (!state->videoStream && !state->audioStream) return SLFail(SL_E_MEDIA_NOT_VIDEO, false);
  if (state->videoStream) {
    const u32 stream = state->videoStream - 1;
    if (!reader->GetVideoFormat(stream, &state->videoFormat) ||
        !reader->GetVideoFrameCount(stream, &state->videoFrames) ||
        !reader->GetVideoFrameRate(stream, &state->framesPerSecond))
      return false;
    // The frame rate turns sample positions into frames and sets the tick.
    if (!std::isfinite(state->framesPerSecond) || state->framesPerSecond <= 0)
      return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
  }
  if (state->audioStream) {
    const u32 stream = state->audioStream - 1;
    if (!reader->GetAudioFormat(stream, &state->audioFormat) || !reader->GetAudioLength(stream, &state->audioLength))
      return false;
    if (state->audioFormat.samplesPerSecond == 0) return SLFail(SL_E_AUDIO_FORMAT, false);
  }
  if (!state->audioStream) {
    state->totalFrames = state->videoFrames;
  } else if (!state->videoStream) {
    state->totalFrames = state->audioLength;
  } else {
    const double seconds = std::fmax(double(state->videoFrames) / state->framesPerSecond,
                                     double(state->audioLength) / state->audioFormat.samplesPerSecond);
    const double frames = std::trunc(seconds * state->framesPerSecond);
    if (!(frames < 18446744073709551616.0)) return SLFail(SL_E_MEDIA_VIDEO_FORMAT, false);
    state->totalFrames = u64(frames);
  }
  if (state->videoStream) {
    const u32 stream = state->videoStream - 1;
    if (!reader->StartStream(stream) || !reader->GetVideoFrame(stream, 0, &state->picture, &state->pictureSize))
      return false;
    state->pictureFrame = 0;
  }
  if (state->audioStream && !reader->StartStream(state->audioStream - 1)) return false;
  dropNew.Dismiss();
  return SLSucceed(true);
}

bool CSL_GS_MoviePlayer::Close() {
  if (!m_state) return SLSucceed(true);
  CSLPlayerLock lock(&m_state->lock);
  if (!StopAndLock(&lock)) return false;
  SL_GS_SoundRecord* sound = DropMovie();
  CSL_GS_BaseSfx* const sfx = m_state->sfx;
  lock.Leave();
  DestroySound(sfx, sound);
  return SLSucceed(true);
}

bool CSL_GS_MoviePlayer::Play(u32 loop, double speed, bool withoutSound, bool withoutVideo) {
  if (!(speed >= -512 && speed <= 512 && std::fabs(speed) >= 1e-10) || (withoutSound && withoutVideo))
    return SLFail(SL_E_INVALID_ARG, false);
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_MoviePlayerState* const state = m_state;
  CSLPlayerLock lock(&state->lock);
  for (;;) {
    if (!lock.Enter()) return SLFail(SL_E_SYSTEM, false);
    if (!IsOpen()) return SLFail(SL_E_NOT_INITIALISED, false);
    if (!StopAndLock(&lock)) return false;
    // The last playback's sound goes before the new start, here and not on the player
    // thread: destroying it sends an event, which must not be waited for under the lock.
    if (!state->sound) break;
    SL_GS_SoundRecord* sound = state->sound;
    state->sound = nullptr;
    CSL_GS_BaseSfx* const sfx = state->sfx;
    lock.Leave();
    DestroySound(sfx, sound);
  }
  if (!IsOpen()) return SLFail(SL_E_NOT_INITIALISED, false);

  u32 flags = 0;
  if (state->videoStream && !withoutVideo) flags |= kPlayVideo;
  if (speed > 0 && state->audioStream && !withoutSound) {
    const SLAudioFormat& format = state->audioFormat;
    if ((format.bitsPerSample != 8 && format.bitsPerSample != 16) || format.channels == 0 ||
        format.blockAlign != format.bitsPerSample / 8 * format.channels)
      return SLFail(SL_E_AUDIO_FORMAT, false);
    flags |= kPlaySound;
  }
  if (!flags) return SLFail(SL_E_INVALID_ARG, false);
  if (((flags & kPlayVideo) && !state->gfx) || ((flags & kPlaySound) && !state->sfx))
    return SLFail(SL_E_NOT_INITIALISED, false);
  state->speed = speed;
  state->playFlags = flags;
  state->loop = loop;
  state->result.store(SL_OK);

  // The lock stays held until the player thread answers: the start reads the reader.
  const u64 sequence = ++state->nextSequence;
  state->command.store(sequence << 2 | kPlayerCommandPlay);
  state->commandEvent.Set();
  while (state->acknowledged.load() < sequence) {
    if (!IsRunning()) return SLFail(SL_E_SYSTEM, false);
    SLSleep(1);
  }
  const u32 result = state->result.load();
  return result & 0x80000000u ? SLFail(result, false) : SLSucceed(true);
}

bool CSL_GS_MoviePlayer::Stop() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  CSLPlayerLock lock(&m_state->lock);
  if (!lock.Enter()) return SLFail(SL_E_SYSTEM, false);
  if (!IsOpen()) return SLFail(SL_E_NOT_INITIALISED, false);
  return StopAndLock(&lock);
}

bool CSL_GS_MoviePlayer::SeekToFrame(u64 frame) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SL_GS_MoviePlayerState* const state = m_state;
  CSLPlayerLock lock(&state->lock);
  if (!lock.Enter()) return SLFail(SL_E_SYSTEM, false);
  if (!IsOpen()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (frame > state->totalFrames) frame = state->totalFrames;
  const bool wasPlaying = state->threadState.load() == kPlayerPlaying;
  const u32 loop = state->loop, flags = state->playFlags;
  const double speed = state->speed;
  state->suppressStopEvent.store(true);
  auto clearSuppression = SLMakeScopeGuard([state] { state->suppressStopEvent.store(false); });
  if (wasPlaying) {
    lock.Leave();
    if (!StopAndLock(&lock)) return false;
  }
  state->currentFrame = frame;
  if (!wasPlaying) return SLSucceed(true);
  lock.Leave();
  return Play(loop, speed, flags == kPlayVideo, flags == kPlaySound);
}

bool CSL_GS_MoviePlayer::IsPlaying() {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  return SLSucceed(m_state->threadState.load() == kPlayerPlaying);
}

namespace {

// The common steps of a query: the out pointer (null 0x80001005) cleared, an open movie
// under the state lock, then `fill`, which may refuse with a code of its own.
template <class T, class Fill>
bool QueryOpenMovie(SL_GS_MoviePlayerState* state, T* out, Fill fill) {
  if (!out) return SLFail(SL_E_NULL_OUTPUT, false);
  *out = T{};
  if (!state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&state->lock);
  if (!state->reader) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 refused = fill(out);
  return refused ? SLFail(refused, false) : SLSucceed(true);
}

}  // namespace

bool CSL_GS_MoviePlayer::GetCurrentFrame(u64* frame) {
  return QueryOpenMovie(m_state, frame, [this](u64* out) { return *out = m_state->currentFrame, u32(SL_OK); });
}

bool CSL_GS_MoviePlayer::GetFrameCount(u64* frames) {
  return QueryOpenMovie(m_state, frames, [this](u64* out) { return *out = m_state->totalFrames, u32(SL_OK); });
}

bool CSL_GS_MoviePlayer::GetFrameRate(double* framesPerSecond) {
  return QueryOpenMovie(m_state, framesPerSecond, [this](double* out) {
    if (!m_state->videoStream) return u32(SL_E_NO_VIDEO_STREAM);
    return *out = m_state->framesPerSecond, u32(SL_OK);
  });
}

bool CSL_GS_MoviePlayer::GetAudioFormat(SLAudioFormat* format) {
  return QueryOpenMovie(m_state, format, [this](SLAudioFormat* out) {
    if (!m_state->audioStream) return u32(SL_E_NO_AUDIO_STREAM);
    return *out = m_state->audioFormat, u32(SL_OK);
  });
}

bool CSL_GS_MoviePlayer::ReadAudio(u64 first, u32 count, const void** samples, u32* got) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  SLCriticalSectionLock lock(&m_state->lock);
  if (!IsOpen()) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!m_state->audioStream) return SLFail(SL_E_NO_AUDIO_STREAM, false);
  if (m_state->threadState.load() != kPlayerIdle) return SLFail(SL_E_HELD, false);
  return m_state->reader->ReadAudio(m_state->audioStream - 1, first, count, samples, got);
}

bool CSL_GS_MoviePlayer::SetGfx(CSL_GS_BaseGfx* gfx) {
  return AttachDevice(&SL_GS_MoviePlayerState::gfx, gfx, &CSL_GS_MoviePlayer::OnGfxEvent);
}

bool CSL_GS_MoviePlayer::SetSfx(CSL_GS_BaseSfx* sfx) {
  return AttachDevice(&SL_GS_MoviePlayerState::sfx, sfx, &CSL_GS_MoviePlayer::OnSfxEvent);
}

template <class TDevice>
bool CSL_GS_MoviePlayer::AttachDevice(TDevice* SL_GS_MoviePlayerState::*field, TDevice* device,
                                      void (CSL_GS_MoviePlayer::*listener)(TDevice*, CSLBaseEvent*, u32)) {
  if (!CreateState()) return SLFail(SL_E_OUT_OF_MEMORY, false);
  SL_GS_MoviePlayerState* const state = m_state;
  CSLPlayerLock lock(&state->lock);
  if (!StopAndLock(&lock)) return false;
  TDevice* const old = state->*field;
  // The streaming sound belongs to the sound device it was made on.
  SL_GS_SoundRecord* sound = nullptr;
  if constexpr (std::is_same_v<TDevice, CSL_GS_BaseSfx>) {
    sound = state->sound;
    state->sound = nullptr;
  }
  state->*field = device;
  lock.Leave();
  // Sounds are destroyed and listeners changed outside the state lock: both take the
  // event lock.
  if constexpr (std::is_same_v<TDevice, CSL_GS_BaseSfx>) DestroySound(old, sound);
  if (old) {
    SLErrorKeeper keeper;
    old->RemoveCallback(this, listener, 0);
  }
  if (device && !device->AddCallback(this, listener, 0)) {
    SLErrorKeeper keeper;
    SLCriticalSectionLock relock(&state->lock);
    if (state->*field == device) state->*field = nullptr;
    return false;
  }
  return SLSucceed(true);
}

void CSL_GS_MoviePlayer::OnGfxEvent(CSL_GS_BaseGfx* sender, CSLBaseEvent* event, u32) {
  if (IsDyingAttached(event, &SL_GS_MoviePlayerState::gfx, sender)) SetGfx(nullptr);
}

void CSL_GS_MoviePlayer::OnSfxEvent(CSL_GS_BaseSfx* sender, CSLBaseEvent* event, u32) {
  if (IsDyingAttached(event, &SL_GS_MoviePlayerState::sfx, sender)) SetSfx(nullptr);
}

template <class TDevice>
bool CSL_GS_MoviePlayer::IsDyingAttached(CSLBaseEvent* event, TDevice* SL_GS_MoviePlayerState::*field,
                                         TDevice* sender) {
  if (!event || !event->IsKindOf(CSLEventSourceDying::GetClassRecord()) || !m_state) return false;
  SLCriticalSectionLock lock(&m_state->lock);
  return m_state->*field == sender;
}
