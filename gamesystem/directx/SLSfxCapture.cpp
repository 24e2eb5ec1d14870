// Microphone capture: a two-second ring on the default capture device, sixteen evenly
// spaced notification positions that wake a worker thread, and the worker handing each
// newly recorded stretch of the ring to the caller's callback.
#include <new>

#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "gamesystem/directx/SLSfxDirectX.h"

using SLInternals::SLSfxCaptureState;
using SLInternals::SL_SFX_CAPTURE_NOTIFICATIONS;

namespace {

SLSfxCaptureState* CaptureStateOf(SL_GS_SoundRecord* sound) {
  return static_cast<SLSfxCaptureState*>(sound->voices[0].platform);
}

void DestroyCaptureState(SLSfxCaptureState* state) {
  SLErrorKeeper keeper;
  state->worker.Stop(INFINITE);  // the worker reads the buffer: it ends first
  if (state->notify) state->notify->Release();
  if (state->buffer) state->buffer->Release();
  state->~SLSfxCaptureState();
  SLFree(state);
}

}  // namespace

bool CSL_GS_Sfx_DirectX::CreateCaptureObjects(SL_GS_SoundRecord* sound) {
  if (!m_state->capture) return SLFail(SL_E_NOT_AVAILABLE, false);
  void* block = SLAllocZeroed(u32(sizeof(SLSfxCaptureState)));
  if (!block) return false;
  auto* state = new (block) SLSfxCaptureState();
  state->device = this;
  state->sound = sound;
  if (!state->notification.Create(false, false)) {
    const u32 code = SLGetLastError();
    DestroyCaptureState(state);
    return SLFail(code ? code : SL_E_OUT_OF_MEMORY, false);
  }
  const SLAudioFormat& f = sound->format;
  WAVEFORMATEX wave{WAVE_FORMAT_PCM, WORD(f.channels),    f.samplesPerSecond, f.bytesPerSecond,
                    WORD(f.blockAlign), WORD(f.bitsPerSample), 0};
  const u32 size = sound->length * f.blockAlign;
  DSCBUFFERDESC desc{sizeof(DSCBUFFERDESC), DSCBCAPS_WAVEMAPPED, size, 0, &wave, 0, nullptr};
  void* notify = nullptr;
  if (m_state->capture->CreateCaptureBuffer(&desc, &state->buffer, nullptr) < 0 || !state->buffer ||
      state->buffer->QueryInterface(IID_IDirectSoundNotify, &notify) < 0 || !notify) {
    DestroyCaptureState(state);
    return SLFail(SL_E_SETUP_FAILED, false);
  }
  state->notify = static_cast<IDirectSoundNotify8*>(notify);
  // The last byte of each sixteenth of the ring, in whole frames.
  const u32 step = size / SL_SFX_CAPTURE_NOTIFICATIONS / f.blockAlign * f.blockAlign;
  for (u32 i = 0; i < SL_SFX_CAPTURE_NOTIFICATIONS; ++i) {
    const u32 offset = step * (i + 1) - 1;
    state->positions[i] = {offset < size ? offset : size - 1, state->notification.GetHandle()};
  }
  if (state->notify->SetNotificationPositions(SL_SFX_CAPTURE_NOTIFICATIONS, state->positions) < 0) {
    DestroyCaptureState(state);
    return SLFail(SL_E_SETUP_FAILED, false);
  }
  sound->voices[0].platform = state;
  return SLSucceed(true);
}

void CSL_GS_Sfx_DirectX::FreeCaptureObjects(SL_GS_SoundRecord* sound) {
  if (SLSfxCaptureState* state = CaptureStateOf(sound)) DestroyCaptureState(state);
  sound->voices[0].platform = nullptr;
}

bool CSL_GS_Sfx_DirectX::StopCapture(SL_GS_SoundRecord* sound) {
  SLSfxCaptureState* state = CaptureStateOf(sound);
  state->buffer->Stop();
  state->worker.Stop(INFINITE);
  sound->voices[0].playing = 0;
  return SLSucceed(true);
}

bool CSL_GS_Sfx_DirectX::StartCapture(SL_GS_SoundRecord* sound, SL_GS_CaptureCallback callback,
                                      std::uintptr_t user) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (GetSoundKind(sound) != SL_GS_CAPTURE_SOUND_TAG) return SLFail(SL_E_SFX_WRONG_KIND, false);
  if (!callback) return SLFail(SL_E_INVALID_ARG, false);
  SLSfxCaptureState* state = CaptureStateOf(sound);
  StopCapture(sound);
  state->notification.Reset();
  state->callback = callback;
  state->user = user;
  // A restarted capture goes on from where the ring's recording stands, so the worker
  // hands on only what is recorded from now on.
  DWORD capture = 0, read = 0;
  if (state->buffer->GetCurrentPosition(&capture, &read) < 0) read = 0;
  sound->voices[0].devicePrivate = read;
  state->worker.SetCallback(&CaptureLoop, reinterpret_cast<std::uintptr_t>(state));
  if (!state->worker.Start()) return false;
  if (state->buffer->Start(DSCBSTART_LOOPING) < 0) {
    state->worker.Stop(INFINITE);
    return SLFail(SL_E_SFX_CAPTURE_START, false);
  }
  sound->voices[0].playing = 1;
  sound->voices[0].looping = 1;
  return SLSucceed(true);
}

u32 CSL_GS_Sfx_DirectX::CaptureLoop(CSLWorkerThread* thread, std::uintptr_t parameter) {
  auto* state = reinterpret_cast<SLSfxCaptureState*>(parameter);
  SL_GS_SoundRecord* sound = state->sound;
  const u32 align = sound->format.blockAlign;
  const u32 size = sound->length * align;
  u32 readOffset = u32(sound->voices[0].devicePrivate) % size;
  HANDLE notification = state->notification.GetHandle();
  for (;;) {
    i32 which = 0;
    if (thread->WaitForEvents(INFINITE, 1, &notification, &which)) return 0;  // stop asked, or the wait failed
    if (which != 1) continue;
    DWORD captured = 0, readable = 0;
    if (state->buffer->GetCurrentPosition(&captured, &readable) < 0) continue;
    u32 available = readable >= readOffset ? readable - readOffset : readable + size - readOffset;
    available -= available % align;
    if (available == 0) continue;
    void* regions[2] = {nullptr, nullptr};
    DWORD bytes[2] = {0, 0};
    if (state->buffer->Lock(readOffset, available, &regions[0], &bytes[0], &regions[1], &bytes[1], 0) < 0) continue;
    bool stop = false;
    for (int r = 0; r < 2 && !stop; ++r) {
      if (!regions[r]) continue;
      const u32 frames = bytes[r] / align;
      if (frames > 0) {
        state->callback(sound, state->user, regions[r], frames);
        i32 ignored = 0;
        stop = thread->WaitForEvents(0, 0, nullptr, &ignored);
      }
      readOffset = (readOffset + bytes[r]) % size;
    }
    state->buffer->Unlock(regions[0], bytes[0], regions[1], bytes[1]);
    if (stop) return 0;
  }
}
