#include "gamesystem/directx/SLSfxDirectX.h"

#include <cmath>

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "platform/user32/User32.h"

using SLInternals::CSL_GS_SfxDirectXInternal;
using SLInternals::SLSfxDeviceState;

SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_Sfx_DirectX, CSL_GS_BaseSfx)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_SfxCD_DirectX, CSL_GS_BaseSfxCD)
SL_IMPLEMENT_CLASS_CREATABLE(CSL_GS_SfxMixer_DirectX, CSL_GS_BaseSfxMixer)

namespace {

CSL_GS_SfxDirectXInternal* g_sfxApi = nullptr;

// Buffer capabilities of a voice: frequency, pan, volume, position notification and the
// accurate play cursor.
constexpr DWORD kVoiceBufferFlags = 0x101E2;

WAVEFORMATEX WaveFormatOf(const SLAudioFormat& f) {
  return {WAVE_FORMAT_PCM, WORD(f.channels),      f.samplesPerSecond, f.bytesPerSecond,
          WORD(f.blockAlign), WORD(f.bitsPerSample), 0};
}

IDirectSoundBuffer8* VoiceBuffer(SL_GS_SoundRecord* sound, u32 index) {
  return static_cast<IDirectSoundBuffer8*>(sound->voices[index].platform);
}

// The platform frequency of a rate ratio, toward zero; out-of-range values go to the
// platform as its largest, which it refuses.
DWORD FrequencyOf(u32 samplesPerSecond, double speed) {
  const double frequency = double(samplesPerSecond) * speed;
  return frequency < 4294967295.0 ? DWORD(frequency) : 0xFFFFFFFFu;
}

void ClearLock(SL_GS_SoundRecord* sound) {
  sound->locked = 0;
  sound->lockFirst = sound->lockCount = 0;
  sound->lockRegion1 = sound->lockRegion2 = nullptr;
  sound->lockBytes1 = sound->lockBytes2 = 0;
}

}  // namespace

// --- The loader --------------------------------------------------------------------

namespace SLInternals {

CSL_GS_SfxDirectXInternal::CSL_GS_SfxDirectXInternal()
    : m_dsound(nullptr),
      m_pDirectSoundCreate8(nullptr),
      m_pDirectSoundCaptureCreate8(nullptr),
      m_kernel32(nullptr),
      m_pGetModuleHandleA(nullptr),
      m_pGetModuleHandleW(nullptr) {}

CSL_GS_SfxDirectXInternal::~CSL_GS_SfxDirectXInternal() {
  SLErrorKeeper keeper;
  for (IDirectSoundCapture8* object : m_capture) object->Release();
  for (IDirectSound8* object : m_playback) object->Release();
  m_capture.Free();
  m_playback.Free();
  if (m_dsound) SLFreeLibrary(m_dsound);
  if (m_kernel32) SLFreeLibrary(m_kernel32);
  m_dsound = m_kernel32 = nullptr;
  m_pDirectSoundCreate8 = nullptr;
  m_pDirectSoundCaptureCreate8 = nullptr;
  m_pGetModuleHandleA = nullptr;
  m_pGetModuleHandleW = nullptr;
}

bool CSL_GS_SfxDirectXInternal::Initialize() {
  m_dsound = SLLoadLibrary(u"dsound.dll");
  if (m_dsound) {
    SLBindProc(m_dsound, u"DirectSoundCreate8", &m_pDirectSoundCreate8);
    SLBindProc(m_dsound, u"DirectSoundCaptureCreate8", &m_pDirectSoundCaptureCreate8);
  }
  m_kernel32 = SLLoadLibrary(u"kernel32.dll");
  if (m_kernel32) {
    SLBindProc(m_kernel32, u"GetModuleHandleA", &m_pGetModuleHandleA);
    SLBindProc(m_kernel32, u"GetModuleHandleW", &m_pGetModuleHandleW);
  }
  return true;
}

CSL_GS_SfxDirectXInternal* CSL_GS_SfxDirectXInternal::GetInstance() {
  CSL_GS_SfxDirectXInternal* instance = SLGetSingleton(g_sfxApi, SL_OOD_PRIORITY_DEVICE_LOADERS);
  if (!instance) SLSetLastError(SL_E_OUT_OF_MEMORY);
  return instance;
}

void CSL_GS_SfxDirectXInternal::Lock() { SLSpinLock(&m_lock); }

void CSL_GS_SfxDirectXInternal::Unlock() { SLSpinUnlock(&m_lock); }

template <class T, class F>
T* CSL_GS_SfxDirectXInternal::MakeObject(F create, const GUID& device, TSLArray<T*>* list) {
  if (!m_dsound) return SLFail(SL_E_LIBRARY_NOT_LOADED, static_cast<T*>(nullptr));
  if (!create) return SLFail(SL_E_ENTRY_MISSING, static_cast<T*>(nullptr));
  Lock();
  auto unlock = SLMakeScopeGuard([this] { Unlock(); });
  T* object = nullptr;
  if (create(&device, &object, nullptr) < 0 || !object) return SLFail(SL_E_SETUP_FAILED, static_cast<T*>(nullptr));
  if (!list->Add(object)) {
    SLErrorKeeper keeper;
    object->Release();
    return nullptr;
  }
  return SLSucceed(object);
}

template <class T>
void CSL_GS_SfxDirectXInternal::DropObject(T* object, TSLArray<T*>* list) {
  Lock();
  auto unlock = SLMakeScopeGuard([this] { Unlock(); });
  for (u32 i = 0; i < list->GetCount(); ++i) {
    if ((*list)[i] != object) continue;
    object->Release();
    list->RemoveAt(i);
    return;
  }
}

IDirectSound8* CSL_GS_SfxDirectXInternal::CreatePlayback() {
  return MakeObject(m_pDirectSoundCreate8, DSDEVID_DefaultPlayback, &m_playback);
}

IDirectSoundCapture8* CSL_GS_SfxDirectXInternal::CreateCapture() {
  return MakeObject(m_pDirectSoundCaptureCreate8, DSDEVID_DefaultCapture, &m_capture);
}

void CSL_GS_SfxDirectXInternal::ReleasePlayback(IDirectSound8* object) { DropObject(object, &m_playback); }

void CSL_GS_SfxDirectXInternal::ReleaseCapture(IDirectSoundCapture8* object) { DropObject(object, &m_capture); }

HMODULE CSL_GS_SfxDirectXInternal::GetModuleHandle() {
  if (m_pGetModuleHandleA) return m_pGetModuleHandleA(nullptr);
  return m_pGetModuleHandleW ? m_pGetModuleHandleW(nullptr) : nullptr;
}

}  // namespace SLInternals

// --- Set-up and shutdown -----------------------------------------------------------

CSL_GS_Sfx_DirectX::CSL_GS_Sfx_DirectX() : m_state(nullptr) {}

CSL_GS_Sfx_DirectX::~CSL_GS_Sfx_DirectX() {
  SLErrorKeeper keeper;
  Shutdown();
}

bool CSL_GS_Sfx_DirectX::Init(HINSTANCE instance, HWND window, const SLAudioFormat* output) {
  if (!window) return SLFail(SL_E_INVALID_ARG, false);
  if (m_state) return SLFail(SL_E_ALREADY_INITIALISED, false);
  auto* state = static_cast<SLSfxDeviceState*>(SLAllocZeroed(u32(sizeof(SLSfxDeviceState))));
  if (!state) return false;
  state->owner = this;
  state->instance = instance;
  state->window = window;
  m_state = state;
  auto fail = [this](u32 code) {
    Shutdown();
    return SLFail(code, false);
  };

  state->hook = new CSLWndProcHook();
  if (!state->hook) return fail(SL_E_OUT_OF_MEMORY);
  if (!state->hook->Attach(window, this)) return fail(SLGetLastError());
  CSL_GS_SfxDirectXInternal* api = CSL_GS_SfxDirectXInternal::GetInstance();
  if (!api) return fail(SL_E_OUT_OF_MEMORY);
  if (!state->instance) state->instance = api->GetModuleHandle();
  if (!state->instance) return fail(SL_E_LIBRARY_NOT_LOADED);
  state->playback = api->CreatePlayback();
  if (!state->playback) return fail(SLGetLastError());
  // A system without a microphone plays sound all the same.
  state->capture = api->CreateCapture();
  if (!state->capture && SLGetLastError() == SL_E_OUT_OF_MEMORY) return fail(SL_E_OUT_OF_MEMORY);
  if (state->playback->SetCooperativeLevel(window, DSSCL_PRIORITY) < 0) return fail(SL_E_SETUP_FAILED);

  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_PRIMARYBUFFER, 0, 0, nullptr, {}};
  IDirectSoundBuffer8* primary = nullptr;
  const HRESULT created = state->playback->CreateSoundBuffer(&desc, &primary, nullptr);
  if ((created != DS_OK && created != DS_NO_VIRTUALIZATION) || !primary) return fail(SL_E_SETUP_FAILED);
  SLAudioFormat format = output ? *output : SLAudioFormat{1, 2, 16, 22050, 0, 0};
  if (format.channels < 1 || format.channels > 64 || format.samplesPerSecond < 400 ||
      format.samplesPerSecond > 96000 || format.bitsPerSample < 1 || format.bitsPerSample > 32) {
    primary->Release();
    return fail(SL_E_AUDIO_FORMAT);
  }
  format.blockAlign = (format.bitsPerSample + 7) / 8 * format.channels;
  format.bytesPerSecond = format.blockAlign * format.samplesPerSecond;
  const WAVEFORMATEX wave = WaveFormatOf(format);
  const HRESULT set = primary->SetFormat(&wave);
  primary->Release();
  if (set < 0) return fail(SL_E_SETUP_FAILED);
  return SLSucceed(true);
}

void CSL_GS_Sfx_DirectX::Shutdown() {
  SLSfxDeviceState* state = m_state;
  if (state) {
    CSLEventSourceDying dying;
    Send(&dying);
  }
  while (DestroyNewestSound()) {
  }
  if (state) {
    if (state->hook) {
      state->hook->Detach();
      state->hook->Release();
    }
    if (CSL_GS_SfxDirectXInternal* api = CSL_GS_SfxDirectXInternal::GetInstance()) {
      if (state->capture) api->ReleaseCapture(state->capture);
      if (state->playback) api->ReleasePlayback(state->playback);
    }
    SLFree(state);
    m_state = nullptr;
  }
  SLSetLastError(SL_OK);
}

LRESULT CSL_GS_Sfx_DirectX::OnHookedMessage(CSLWndProcHook* hook, HWND, u32 message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message != WM_DESTROY) return hook->CallPrevious(message, wParam, lParam);
  hook->AddRef();
  const LRESULT result = hook->CallPrevious(message, wParam, lParam);
  Shutdown();
  hook->Release();
  return result;
}

// --- Playback sounds ---------------------------------------------------------------

LONG CSL_GS_Sfx_DirectX::AttenuationOfVolume(u32 percent) {
  if (percent == 0) return DSBVOLUME_MIN;
  if (percent >= 100) return DSBVOLUME_MAX;
  return -LONG(std::floor(10000.0 - 5000.0 * std::log10(double(percent))));
}

// Copies the whole sound into voice 1's buffer, which every voice plays.
bool CSL_GS_Sfx_DirectX::WriteWholeSound(SL_GS_SoundRecord* sound) {
  IDirectSoundBuffer8* buffer = VoiceBuffer(sound, 0);
  const DWORD bytes = sound->length * sound->format.blockAlign;
  void* region = nullptr;
  DWORD regionBytes = 0;
  if (buffer->Lock(0, bytes, &region, &regionBytes, nullptr, nullptr, 0) < 0 || !region) return false;
  SLMemCopy(region, sound->samples, regionBytes < bytes ? regionBytes : bytes);
  return buffer->Unlock(region, regionBytes, nullptr, 0) >= 0;
}

bool CSL_GS_Sfx_DirectX::CreateSoundObjects(SL_GS_SoundRecord* sound) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 kind = GetSoundKind(sound);
  if (kind == SL_GS_CAPTURE_SOUND_TAG) return CreateCaptureObjects(sound);
  if (kind != SL_GS_SOUND_TAG) return SLFail(SL_E_INDEX, false);
  WAVEFORMATEX wave = WaveFormatOf(sound->format);
  DSBUFFERDESC desc{sizeof(DSBUFFERDESC), kVoiceBufferFlags, sound->length * sound->format.blockAlign, 0, &wave, {}};
  IDirectSoundBuffer8* first = nullptr;
  if (m_state->playback->CreateSoundBuffer(&desc, &first, nullptr) < 0 || !first)
    return SLFail(SL_E_SETUP_FAILED, false);
  sound->voices[0].platform = first;
  if (!WriteWholeSound(sound)) {
    first->Release();
    sound->voices[0].platform = nullptr;
    return SLFail(SL_E_LOCK_FAILED, false);
  }
  for (u32 i = 1; i < sound->voiceCount; ++i) {
    IDirectSoundBuffer8* duplicate = nullptr;
    if (m_state->playback->DuplicateSoundBuffer(first, &duplicate) < 0 || !duplicate) {
      for (u32 k = i; k-- > 0;) {
        VoiceBuffer(sound, k)->Release();
        sound->voices[k].platform = nullptr;
      }
      return SLFail(SL_E_SETUP_FAILED, false);
    }
    sound->voices[i].platform = duplicate;
  }
  return SLSucceed(true);
}

void CSL_GS_Sfx_DirectX::FreeSoundObjects(SL_GS_SoundRecord* sound) {
  if (!m_state) {
    SLSetLastError(SL_E_NOT_INITIALISED);
    return;
  }
  const u32 kind = GetSoundKind(sound);
  if (kind == SL_GS_CAPTURE_SOUND_TAG) {
    FreeCaptureObjects(sound);
  } else if (kind == SL_GS_SOUND_TAG) {
    for (u32 i = sound->voiceCount; i-- > 0;) {
      if (IDirectSoundBuffer8* buffer = VoiceBuffer(sound, i)) buffer->Release();
      sound->voices[i].platform = nullptr;
    }
  } else {
    SLSetLastError(SL_E_INDEX);
    return;
  }
  if (sound->devicePrivate) SLFree(sound->devicePrivate);
  sound->devicePrivate = nullptr;
  SLSetLastError(SL_OK);
}

// Positions, tunes and starts one voice; the code is set on failure.
bool CSL_GS_Sfx_DirectX::StartVoice(SL_GS_SoundRecord* sound, u32 index, u32 loop, u32 firstFrame, double speed) {
  IDirectSoundBuffer8* buffer = VoiceBuffer(sound, index);
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (buffer->SetCurrentPosition(firstFrame * sound->format.blockAlign) < 0)
      return SLFail(SL_E_SFX_PREPARE_PLAY, false);
    if (buffer->SetFrequency(FrequencyOf(sound->format.samplesPerSecond, speed)) < 0)
      return SLFail(SL_E_SFX_PREPARE_PLAY, false);
    sound->voices[index].speed = speed;
    const HRESULT played = buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0);
    if (played >= 0) return true;
    if (played != DSERR_BUFFERLOST || attempt == 1) break;
    // The platform dropped the memory: give it back and write the sound again.
    if (buffer->Restore() < 0 || !WriteWholeSound(sound)) break;
  }
  return SLFail(SL_E_SFX_PLAY_FAILED, false);
}

bool CSL_GS_Sfx_DirectX::Play(SL_GS_SoundRecord* sound, u32 loop, u32* voice, u32 firstFrame, double speed) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!(speed >= 1e-10)) return SLFail(SL_E_INVALID_ARG, false);
  if (GetSoundKind(sound) != SL_GS_SOUND_TAG) return SLFail(SL_E_SFX_WRONG_KIND, false);
  // Voices are taken in turn, playing or not: the oldest start is the one cut off.
  const u32 index = sound->nextVoice < sound->voiceCount ? sound->nextVoice : 0;
  if (voice) *voice = index + 1;
  sound->nextVoice = index + 1 < sound->voiceCount ? index + 1 : 0;
  firstFrame %= sound->length;
  VoiceBuffer(sound, index)->Stop();
  sound->voices[index].playing = 0;
  if (!StartVoice(sound, index, loop, firstFrame, speed)) return false;
  sound->voices[index].playing = 1;
  sound->voices[index].looping = loop;
  return SLSucceed(true);
}

bool CSL_GS_Sfx_DirectX::Stop(SL_GS_SoundRecord* sound, u32 voice) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 kind = GetSoundKind(sound);
  if (kind == SL_GS_CAPTURE_SOUND_TAG) return StopCapture(sound);
  if (kind != SL_GS_SOUND_TAG) return SLFail(SL_E_INDEX, false);
  if (voice > sound->voiceCount) return SLFail(SL_E_INVALID_ARG, false);
  const u32 first = voice ? voice - 1 : 0;
  for (u32 i = voice ? voice : sound->voiceCount; i-- > first;) {
    VoiceBuffer(sound, i)->Stop();
    sound->voices[i].playing = 0;
  }
  return SLSucceed(true);
}

bool CSL_GS_Sfx_DirectX::GetPlayPosition(SL_GS_SoundRecord* sound, u32 voice, u32* frame) {
  if (frame) *frame = 0;
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (GetSoundKind(sound) != SL_GS_SOUND_TAG) return SLFail(SL_E_SFX_POSITION, false);
  if (voice == 0 || voice > sound->voiceCount) return SLFail(SL_E_INVALID_ARG, false);
  if (!frame) return SLFail(SL_E_NULL_OUTPUT, false);
  if (!sound->voices[voice - 1].playing) return SLFail(SL_S_SFX_NOT_PLAYING, true);
  DWORD cursor = 0;
  if (VoiceBuffer(sound, voice - 1)->GetCurrentPosition(&cursor, nullptr) < 0)
    return SLFail(SL_E_SFX_POSITION, false);
  *frame = cursor / sound->format.blockAlign;
  return SLSucceed(true);
}

bool CSL_GS_Sfx_DirectX::Lock(void** first, u32* firstFrames, void** second, u32* secondFrames,
                              SL_GS_SoundRecord* sound, u32 firstFrame, u32 count) {
  if (first) *first = nullptr;
  if (firstFrames) *firstFrames = 0;
  if (second) *second = nullptr;
  if (secondFrames) *secondFrames = 0;
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!first || !firstFrames || (!second != !secondFrames)) return SLFail(SL_E_NULL_OUTPUT, false);
  const u32 kind = GetSoundKind(sound);
  if (!kind) return SLFail(SL_E_LOCK_FAILED, false);
  if (firstFrame >= sound->length || count == 0) return SLFail(SL_E_INVALID_ARG, false);
  if (sound->locked) return SLFail(SL_E_HELD, false);
  if (kind != SL_GS_SOUND_TAG) return SLFail(SL_E_LOCK_FAILED, false);
  if (count > sound->length) count = sound->length;
  const u32 align = sound->format.blockAlign;
  IDirectSoundBuffer8* buffer = VoiceBuffer(sound, 0);
  sound->lockFirst = firstFrame;
  sound->lockCount = count;
  void* region1 = nullptr;
  void* region2 = nullptr;
  DWORD bytes1 = 0, bytes2 = 0;
  if (buffer->Lock(firstFrame * align, count * align, &region1, &bytes1, &region2, &bytes2, 0) < 0) {
    buffer->Restore();
    if (buffer->Lock(firstFrame * align, count * align, &region1, &bytes1, &region2, &bytes2, 0) < 0) {
      sound->lockFirst = sound->lockCount = 0;
      return SLFail(SL_E_LOCK_FAILED, false);
    }
  }
  sound->lockRegion1 = region1;
  sound->lockBytes1 = bytes1;
  sound->lockRegion2 = region2;
  sound->lockBytes2 = region2 ? bytes2 : 0;
  sound->locked = 1;
  *first = sound->samples + u64(firstFrame) * align;
  *firstFrames = bytes1 / align;
  if (second && region2) {
    *second = sound->samples;
    *secondFrames = bytes2 / align;
  }
  return SLSucceed(true);
}

bool CSL_GS_Sfx_DirectX::Unlock(SL_GS_SoundRecord* sound) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (GetSoundKind(sound) != SL_GS_SOUND_TAG || !sound->locked) return SLFail(SL_E_NOT_HELD, false);
  const u32 align = sound->format.blockAlign;
  SLMemCopy(sound->lockRegion1, sound->samples + u64(sound->lockFirst) * align, sound->lockBytes1);
  if (sound->lockRegion2) SLMemCopy(sound->lockRegion2, sound->samples, sound->lockBytes2);
  VoiceBuffer(sound, 0)->Unlock(sound->lockRegion1, sound->lockBytes1, sound->lockRegion2, sound->lockBytes2);
  ClearLock(sound);
  return SLSucceed(true);
}

// --- Voice settings ----------------------------------------------------------------

bool CSL_GS_Sfx_DirectX::CanSetVoice(SL_GS_SoundRecord* sound) {
  if (GetSoundKind(sound) != SL_GS_SOUND_TAG) return SLFail(SL_E_SETTING_UNSUPPORTED, false);
  return SLSucceed(true);
}

bool CSL_GS_Sfx_DirectX::CanSetSpeed(SL_GS_SoundRecord* sound, u32, double) { return CanSetVoice(sound); }
bool CSL_GS_Sfx_DirectX::CanSetPan(SL_GS_SoundRecord* sound, u32, i32) { return CanSetVoice(sound); }
bool CSL_GS_Sfx_DirectX::CanSetVolume(SL_GS_SoundRecord* sound, u32, u32) { return CanSetVoice(sound); }

bool CSL_GS_Sfx_DirectX::ApplyVoiceSetting(SL_GS_SoundRecord* sound, u32 voiceIndex, u32 what) {
  if (!m_state) return SLFail(SL_E_NOT_INITIALISED, false);
  if (GetSoundKind(sound) != SL_GS_SOUND_TAG) return SLFail(SL_E_SETTING_UNSUPPORTED, false);
  if (voiceIndex >= sound->voiceCount) return SLFail(SL_E_INVALID_ARG, false);
  const SL_GS_SoundVoice& voice = sound->voices[voiceIndex];
  IDirectSoundBuffer8* buffer = VoiceBuffer(sound, voiceIndex);
  HRESULT result = DS_OK;
  switch (what) {
    case SL_GS_VOICE_SPEED: result = buffer->SetFrequency(FrequencyOf(sound->format.samplesPerSecond, voice.speed)); break;
    case SL_GS_VOICE_VOLUME: result = buffer->SetVolume(AttenuationOfVolume(voice.volume)); break;
    case SL_GS_VOICE_PAN: result = buffer->SetPan(LONG(voice.pan) * 100); break;
    default: break;
  }
  if (result < 0) return SLFail(SL_E_SETTING_UNSUPPORTED, false);
  return SLSucceed(true);
}

// --- CD audio and mixer ------------------------------------------------------------

bool CSL_GS_SfxCD_DirectX::Init(HINSTANCE, HWND, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::Play(u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::PlayFrom(u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::Stop() { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::Pause() { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::Resume() { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::Eject(u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::GetPosition(u32*, u32*, u32*, u32*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::GetTrackLength(u32, u32*, u32*, u32*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxCD_DirectX::GetTrackCount(u32*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
void CSL_GS_SfxCD_DirectX::Shutdown() { SLSetLastError(SL_E_NOT_SUPPORTED); }

bool CSL_GS_SfxMixer_DirectX::Init(HINSTANCE, HWND) { return SLFail(SL_E_NOT_SUPPORTED, false); }
void CSL_GS_SfxMixer_DirectX::Shutdown(u32) { SLSetLastError(SL_E_NOT_SUPPORTED); }
bool CSL_GS_SfxMixer_DirectX::SetVolume(u32, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxMixer_DirectX::GetVolume(u32, u32*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxMixer_DirectX::SetMute(u32, u32) { return SLFail(SL_E_NOT_SUPPORTED, false); }
bool CSL_GS_SfxMixer_DirectX::GetRange(u32* low, u32* high, u32, u32) {
  if (low) *low = 0;
  if (high) *high = 1;
  return SLFail(SL_E_NOT_SUPPORTED, false);
}
bool CSL_GS_SfxMixer_DirectX::GetMute(u32, u32*) { return SLFail(SL_E_NOT_SUPPORTED, false); }
