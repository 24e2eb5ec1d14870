// The capture objects of the "dsound.dll" stand-in: an SDL capture device writes into
// the capture buffer's ring, whose notification positions signal their events as the
// capture cursor passes them.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "platform/dsound/Counted.h"
#include "platform/dsound/Mixer.h"
#include "platform/kernel32/Sync.h"
#include "platform/modules.h"

namespace {

std::atomic<bool> g_captureHidden{false};

constexpr DWORD kOffsetStop = 0xFFFFFFFFu;

bool IsCaptureFormat(const WAVEFORMATEX* f) {
  if (!f || f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels < 1 || f->nChannels > 2) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16 && f->wBitsPerSample != 32) return false;
  if (f->nBlockAlign != f->nChannels * (f->wBitsPerSample / 8)) return false;
  return f->nSamplesPerSec >= DSBFREQUENCY_MIN && f->nSamplesPerSec <= DSBFREQUENCY_MAX;
}

class CaptureBuffer;

class Notify final : public SLSoundCounted<IDirectSoundNotify8> {
 public:
  explicit Notify(CaptureBuffer* owner);
  ~Notify() override;
  HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override;

 private:
  CaptureBuffer* owner_;
};

class CaptureBuffer final : public SLSoundCounted<IDirectSoundCaptureBuffer8> {
 public:
  CaptureBuffer(const WAVEFORMATEX& format, DWORD bytes) : format_(format), ring_(bytes, format.wBitsPerSample == 8 ? 0x80 : 0) {
    SDL_InitSubSystem(SDL_INIT_AUDIO);
  }
  ~CaptureBuffer() override {
    Stop();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  HRESULT QueryInterface(const GUID& iid, void** out) override {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (!(iid == IID_IDirectSoundNotify)) return E_NOINTERFACE;
    Notify* notify = new (std::nothrow) Notify(this);
    if (!notify) return DSERR_OUTOFMEMORY;
    *out = static_cast<IDirectSoundNotify8*>(notify);
    return DS_OK;
  }

  HRESULT Start(DWORD flags) override {
    std::lock_guard<std::mutex> control(controlLock_);
    {
      std::lock_guard<std::mutex> guard(lock_);
      looping_ = (flags & DSCBSTART_LOOPING) != 0;
      capturing_ = true;
    }
    if (device_) return DS_OK;
    SDL_AudioSpec want{};
    want.freq = int(format_.nSamplesPerSec);
    want.channels = Uint8(format_.nChannels);
    want.format = format_.wBitsPerSample == 8 ? AUDIO_U8 : format_.wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_S32LSB;
    want.samples = 1024;
    want.callback = [](void* self, Uint8* data, int length) {
      static_cast<CaptureBuffer*>(self)->Write(data, std::size_t(length));
    };
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 1, &want, nullptr, 0);
    if (!device_) {
      std::lock_guard<std::mutex> guard(lock_);
      capturing_ = false;
      return DSERR_NODRIVER;
    }
    SDL_PauseAudioDevice(device_, 0);
    return DS_OK;
  }

  HRESULT Stop() override {
    std::lock_guard<std::mutex> control(controlLock_);
    {
      std::lock_guard<std::mutex> guard(lock_);
      capturing_ = false;
    }
    if (device_) SDL_CloseAudioDevice(device_);  // waits for a running callback
    device_ = 0;
    return DS_OK;
  }

  HRESULT GetCurrentPosition(DWORD* capture, DWORD* read) override {
    if (!capture && !read) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock_);
    if (capture) *capture = DWORD(cursor_);
    if (read) *read = DWORD(cursor_);
    return DS_OK;
  }

  // Regions of the ring itself: the capture writes elsewhere while the caller reads.
  HRESULT Lock(DWORD offset, DWORD bytes, void** first, DWORD* firstBytes, void** second, DWORD* secondBytes,
               DWORD) override {
    if (!first || !firstBytes) return DSERR_INVALIDPARAM;
    *first = nullptr;
    *firstBytes = 0;
    if (second) *second = nullptr;
    if (secondBytes) *secondBytes = 0;
    std::lock_guard<std::mutex> guard(lock_);
    if (offset >= ring_.size() || bytes == 0 || bytes > ring_.size()) return DSERR_INVALIDPARAM;
    if (locked_) return DSERR_INVALIDCALL;
    const std::size_t head = std::min<std::size_t>(bytes, ring_.size() - offset);
    *first = ring_.data() + offset;
    *firstBytes = DWORD(head);
    if (bytes > head && second && secondBytes) {
      *second = ring_.data();
      *secondBytes = DWORD(bytes - head);
    }
    locked_ = true;
    return DS_OK;
  }

  HRESULT Unlock(void*, DWORD, void*, DWORD) override {
    std::lock_guard<std::mutex> guard(lock_);
    if (!locked_) return DSERR_INVALIDCALL;
    locked_ = false;
    return DS_OK;
  }

  HRESULT SetPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) {
    if (count && !positions) return DSERR_INVALIDPARAM;
    std::lock_guard<std::mutex> guard(lock_);
    if (capturing_) return DSERR_INVALIDCALL;
    for (DWORD i = 0; i < count; ++i)
      if ((positions[i].dwOffset >= ring_.size() && positions[i].dwOffset != kOffsetStop) ||
          !positions[i].hEventNotify)
        return DSERR_INVALIDPARAM;
    try {
      notifications_.assign(positions, positions + count);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
  }

  // Recorded bytes (whole frames) into the ring at the capture cursor.
  void Write(const std::uint8_t* data, std::size_t length) {
    std::lock_guard<std::mutex> guard(lock_);
    const std::size_t size = ring_.size();
    length -= length % format_.nBlockAlign;
    while (capturing_ && length > 0) {
      const std::size_t piece = std::min(length, size - cursor_);
      std::memcpy(ring_.data() + cursor_, data, piece);
      const std::size_t from = cursor_;
      cursor_ += piece;
      for (const DSBPOSITIONNOTIFY& n : notifications_)
        if (n.dwOffset != kOffsetStop && n.dwOffset >= from && n.dwOffset < cursor_) SetEvent(n.hEventNotify);
      data += piece;
      length -= piece;
      if (cursor_ == size) {
        cursor_ = 0;
        if (!looping_) {
          capturing_ = false;
          for (const DSBPOSITIONNOTIFY& n : notifications_)
            if (n.dwOffset == kOffsetStop) SetEvent(n.hEventNotify);
        }
      }
    }
  }

 private:
  WAVEFORMATEX format_;
  std::vector<std::uint8_t> ring_;
  std::mutex controlLock_;  // Start and Stop
  std::mutex lock_;         // ring, cursor and notifications
  std::vector<DSBPOSITIONNOTIFY> notifications_;
  std::size_t cursor_ = 0;
  bool capturing_ = false;
  bool looping_ = false;
  bool locked_ = false;
  SDL_AudioDeviceID device_ = 0;
};

Notify::Notify(CaptureBuffer* owner) : owner_(owner) { owner_->AddRef(); }
Notify::~Notify() { owner_->Release(); }
HRESULT Notify::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) {
  return owner_->SetPositions(count, positions);
}

class DirectSoundCapture final : public SLSoundCounted<IDirectSoundCapture8> {
 public:
  HRESULT CreateCaptureBuffer(const DSCBUFFERDESC* desc, IDirectSoundCaptureBuffer8** out, void* outer) override {
    if (!out) return DSERR_INVALIDPARAM;
    *out = nullptr;
    if (outer) return DSERR_NOAGGREGATION;
    if (!desc || desc->dwSize < sizeof(DSCBUFFERDESC)) return DSERR_INVALIDPARAM;
    if (!IsCaptureFormat(desc->lpwfxFormat)) return DSERR_BADFORMAT;
    const DWORD bytes = desc->dwBufferBytes;
    if (bytes < desc->lpwfxFormat->nBlockAlign || bytes > DSBSIZE_MAX || bytes % desc->lpwfxFormat->nBlockAlign)
      return DSERR_INVALIDPARAM;
    try {
      *out = new CaptureBuffer(*desc->lpwfxFormat, bytes);
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
  }
};

HRESULT DirectSoundCaptureCreate8(const GUID* device, IDirectSoundCapture8** out, void* outer) {
  if (!out) return DSERR_INVALIDPARAM;
  *out = nullptr;
  if (outer) return DSERR_NOAGGREGATION;
  if (device && !(*device == DSDEVID_DefaultCapture)) return DSERR_NODRIVER;
  if (g_captureHidden) return DSERR_NODRIVER;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return DSERR_NODRIVER;
  const int devices = SDL_GetNumAudioDevices(1);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  if (devices == 0) return DSERR_NODRIVER;  // -1: the driver names no devices but may capture
  *out = new (std::nothrow) DirectSoundCapture;
  return *out ? DS_OK : DSERR_OUTOFMEMORY;
}

const SLPlatformExport kExports[] = {SL_EXPORT(DirectSoundCaptureCreate8)};

}  // namespace

void SLPlatformSoundHideCapture(bool hidden) { g_captureHidden = hidden; }

const SLPlatformExportGroup g_dsoundCapture = SLMakeExportGroup(kExports);
