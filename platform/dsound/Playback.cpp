// The playback objects of the "dsound.dll" stand-in: the device object, the primary
// buffer (the output format) and the secondary buffers, one voice of the mixer each.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/dsound/Counted.h"
#include "platform/dsound/Mixer.h"
#include "platform/modules.h"

namespace {

bool IsPlayableFormat(const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f->nChannels < 1 || f->nChannels > 2) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16 && f->wBitsPerSample != 24 && f->wBitsPerSample != 32)
    return false;
  if (f->nBlockAlign != f->nChannels * (f->wBitsPerSample / 8)) return false;
  return f->nSamplesPerSec >= DSBFREQUENCY_MIN && f->nSamplesPerSec <= DSBFREQUENCY_MAX;
}

class PrimaryBuffer final : public SLSoundCounted<IDirectSoundBuffer8> {
 public:
  PrimaryBuffer() { SLSoundMixerAcquire(); }
  ~PrimaryBuffer() override { SLSoundMixerRelease(); }
  HRESULT SetFormat(const WAVEFORMATEX* format) override {
    return format ? SLSoundMixerSetFormat(*format) : DSERR_INVALIDPARAM;
  }
  HRESULT Lock(DWORD, DWORD, void**, DWORD*, void**, DWORD*, DWORD) override { return DSERR_INVALIDCALL; }
  HRESULT Unlock(void*, DWORD, void*, DWORD) override { return DSERR_INVALIDCALL; }
  HRESULT Play(DWORD, DWORD, DWORD) override { return DS_OK; }
  HRESULT Stop() override { return DS_OK; }
  HRESULT SetCurrentPosition(DWORD) override { return DSERR_INVALIDCALL; }
  HRESULT GetCurrentPosition(DWORD*, DWORD*) override { return DSERR_INVALIDCALL; }
  HRESULT SetFrequency(DWORD) override { return DSERR_INVALIDCALL; }
  HRESULT SetVolume(LONG) override { return DSERR_INVALIDCALL; }
  HRESULT SetPan(LONG) override { return DSERR_INVALIDCALL; }
  HRESULT Restore() override { return DS_OK; }
};

class SecondaryBuffer final : public SLSoundCounted<IDirectSoundBuffer8> {
 public:
  // `samples` is new memory of the buffer's size, or the original's for a duplicate.
  SecondaryBuffer(std::shared_ptr<std::vector<std::uint8_t>> samples, const WAVEFORMATEX& format) {
    SLSoundMixerAcquire();
    voice_.samples = std::move(samples);
    voice_.format = format;
    voice_.frequency = format.nSamplesPerSec;
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    SLSoundMixerAdd(&voice_);
  }
  ~SecondaryBuffer() override {
    {
      std::lock_guard<std::mutex> guard(SLSoundMixerLock());
      SLSoundMixerRemove(&voice_);
    }
    SLSoundMixerRelease();
  }

  // The voice's state as a duplicate starts it: same memory, format and settings.
  SecondaryBuffer* Duplicate() {
    std::lock_guard<std::mutex> guard(dupLock_);
    SecondaryBuffer* copy = new (std::nothrow) SecondaryBuffer(voice_.samples, voice_.format);
    if (!copy) return nullptr;
    std::lock_guard<std::mutex> mix(SLSoundMixerLock());
    copy->voice_.frequency = voice_.frequency;
    copy->voice_.volume = voice_.volume;
    copy->voice_.pan = voice_.pan;
    return copy;
  }

  HRESULT SetFormat(const WAVEFORMATEX*) override { return DSERR_INVALIDCALL; }

  // Callers get a copy of the range (they may read the samples through it); Unlock
  // writes it back while the mixer is held off.
  HRESULT Lock(DWORD offset, DWORD bytes, void** first, DWORD* firstBytes, void** second, DWORD* secondBytes,
               DWORD flags) override {
    if (!first || !firstBytes) return DSERR_INVALIDPARAM;
    *first = nullptr;
    *firstBytes = 0;
    if (second) *second = nullptr;
    if (secondBytes) *secondBytes = 0;
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    const std::size_t size = voice_.samples->size();
    if (flags & DSBLOCK_ENTIREBUFFER) bytes = DWORD(size);
    if (flags & DSBLOCK_FROMWRITECURSOR) offset = WriteCursorLocked();
    if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
    if (locked_) return DSERR_INVALIDCALL;
    std::size_t head = std::min<std::size_t>(bytes, size - offset);
    std::size_t tail = (second && secondBytes) ? bytes - head : 0;
    try {
      staging_.resize(head + tail);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    std::memcpy(staging_.data(), voice_.samples->data() + offset, head);
    if (tail) std::memcpy(staging_.data() + head, voice_.samples->data(), tail);
    locked_ = true;
    lockOffset_ = offset;
    lockHead_ = head;
    lockTail_ = tail;
    *first = staging_.data();
    *firstBytes = DWORD(head);
    if (tail) {
      *second = staging_.data() + head;
      *secondBytes = DWORD(tail);
    }
    return DS_OK;
  }

  HRESULT Unlock(void* first, DWORD firstBytes, void* second, DWORD secondBytes) override {
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    if (!locked_ || first != staging_.data() || firstBytes > lockHead_ || secondBytes > lockTail_ ||
        (secondBytes && second != staging_.data() + lockHead_))
      return DSERR_INVALIDPARAM;
    std::memcpy(voice_.samples->data() + lockOffset_, staging_.data(), firstBytes);
    if (secondBytes) std::memcpy(voice_.samples->data(), staging_.data() + lockHead_, secondBytes);
    locked_ = false;
    return DS_OK;
  }

  HRESULT Play(DWORD, DWORD, DWORD flags) override {
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    voice_.playing = true;
    voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
    return DS_OK;
  }
  HRESULT Stop() override {
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    voice_.playing = false;
    voice_.mixedFrom = voice_.position;
    return DS_OK;
  }
  HRESULT SetCurrentPosition(DWORD position) override {
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    if (position >= voice_.samples->size()) return DSERR_INVALIDPARAM;
    voice_.position = voice_.mixedFrom = double(position / voice_.format.nBlockAlign);
    return DS_OK;
  }
  HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override {
    if (!play && !write) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    if (play) *play = PlayCursorLocked();
    if (write) *write = WriteCursorLocked();
    return DS_OK;
  }
  HRESULT SetFrequency(DWORD frequency) override {
    if (frequency == 0) frequency = voice_.format.nSamplesPerSec;
    if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    voice_.frequency = frequency;
    return DS_OK;
  }
  HRESULT SetVolume(LONG volume) override {
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    voice_.volume = volume;
    return DS_OK;
  }
  HRESULT SetPan(LONG pan) override {
    if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(SLSoundMixerLock());
    voice_.pan = pan;
    return DS_OK;
  }
  HRESULT Restore() override { return DS_OK; }  // memory buffers are never lost

 private:
  // Where the voice is heard: the start of the last mix plus the real time since, but
  // never past what the mixer has consumed, so every frame before the cursor may be
  // written again. Wrapped in a loop.
  DWORD PlayCursorLocked() const {
    const double length = double(voice_.samples->size() / voice_.format.nBlockAlign);
    double consumed = voice_.position;
    if (consumed < voice_.mixedFrom) consumed += length;  // the last mix wrapped
    double pos = std::min(voice_.mixedFrom + SLSoundMixerFramesSinceMix(voice_), consumed);
    pos = voice_.looping ? std::fmod(pos, length) : std::min(pos, length - 1);
    return DWORD(pos) * voice_.format.nBlockAlign;
  }
  // Where writing is safe: one callback of the device past the play cursor.
  DWORD WriteCursorLocked() const {
    const DWORD play = PlayCursorLocked();
    if (!voice_.playing) return play;
    const std::size_t ahead = std::size_t(std::ceil(SLSoundMixerFramesPerCallback(voice_))) * voice_.format.nBlockAlign;
    return DWORD((play + ahead) % voice_.samples->size());
  }

  SLSoundVoice voice_;
  std::mutex dupLock_;
  bool locked_ = false;
  std::vector<std::uint8_t> staging_;
  std::size_t lockOffset_ = 0, lockHead_ = 0, lockTail_ = 0;
};

class DirectSound final : public SLSoundCounted<IDirectSound8> {
 public:
  DirectSound() = default;
  ~DirectSound() override { SLSoundMixerRelease(); }

  HRESULT SetCooperativeLevel(HWND window, DWORD level) override {
    return (window && level >= DSSCL_NORMAL && level <= 3) ? DS_OK : DSERR_INVALIDPARAM;
  }

  HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer8** out, void* outer) override {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (!desc || desc->dwSize < sizeof(DSBUFFERDESC)) return DSERR_INVALIDPARAM;
    if (desc->dwFlags & DSBCAPS_PRIMARYBUFFER) {
      if (desc->dwBufferBytes || desc->lpwfxFormat) return DSERR_INVALIDPARAM;
      *out = new (std::nothrow) PrimaryBuffer;
      return *out ? DS_OK : DSERR_OUTOFMEMORY;
    }
    if (!IsPlayableFormat(desc->lpwfxFormat)) return DSERR_BADFORMAT;
    const WAVEFORMATEX& format = *desc->lpwfxFormat;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX ||
        desc->dwBufferBytes % format.nBlockAlign)
      return DSERR_INVALIDPARAM;
    try {
      auto samples = std::make_shared<std::vector<std::uint8_t>>(desc->dwBufferBytes,
                                                                 format.wBitsPerSample == 8 ? 0x80 : 0);
      *out = new SecondaryBuffer(std::move(samples), format);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
  }

  HRESULT DuplicateSoundBuffer(IDirectSoundBuffer8* original, IDirectSoundBuffer8** out) override {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    auto* source = dynamic_cast<SecondaryBuffer*>(original);
    if (!source) return DSERR_INVALIDCALL;
    *out = source->Duplicate();
    return *out ? DS_OK : DSERR_OUTOFMEMORY;
  }
};

HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** out, void* outer) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (outer) return DSERR_NOAGGREGATION;
  if (device && !(*device == DSDEVID_DefaultPlayback)) return DSERR_NODRIVER;
  if (!SLSoundMixerAcquire()) return DSERR_NODRIVER;
  DirectSound* sound = new (std::nothrow) DirectSound;
  if (!sound) {
    SLSoundMixerRelease();
    return DSERR_OUTOFMEMORY;
  }
  *out = sound;
  return DS_OK;
}

const SLPlatformExport kExports[] = {SL_EXPORT(DirectSoundCreate8)};

}  // namespace

const SLPlatformExportGroup g_dsoundPlayback = SLMakeExportGroup(kExports);

