#include "platform/dsound/Mixer.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/kernel32/Modules.h"

namespace {

struct MixerState {
  std::mutex mixLock;     // voices, positions, sample memory
  std::mutex deviceLock;  // opening and closing the SDL device
  std::vector<SLSoundVoice*> voices;
  int users = 0;
  SDL_AudioDeviceID device = 0;
  SDL_AudioSpec spec{};
  WAVEFORMATEX format{};
  std::uint64_t lastMixNs = 0;
  std::atomic<bool> manual{false};
  std::vector<float> scratch;  // stereo float mix of one callback
};

MixerState& Mixer() {
  static MixerState* state = new MixerState;  // the SDL callback may run up to exit
  return *state;
}

float ReadSample(const std::uint8_t* p, int bits) {
  switch (bits) {
    case 8: return (float(p[0]) - 128.0f) / 128.0f;
    case 16: return float(std::int16_t(p[0] | (p[1] << 8))) / 32768.0f;
    case 24: {
      std::int32_t v = std::int32_t(std::uint32_t(p[0]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 24);
      return float(v >> 8) / 8388608.0f;
    }
    default: {
      std::int32_t v = std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                                    std::uint32_t(p[3]) << 24);
      return float(double(v) / 2147483648.0);
    }
  }
}

// Left and right of one source frame (a mono frame feeds both).
void ReadFrame(const SLSoundVoice& voice, std::size_t frame, float* left, float* right) {
  const WAVEFORMATEX& f = voice.format;
  const std::uint8_t* p = voice.samples->data() + frame * f.nBlockAlign;
  *left = ReadSample(p, f.wBitsPerSample);
  *right = f.nChannels > 1 ? ReadSample(p + f.wBitsPerSample / 8, f.wBitsPerSample) : *left;
}

// Adds `frames` output frames of one voice into the stereo mix, linear between
// neighbouring source frames, and advances its position.
void MixVoice(SLSoundVoice& voice, float* mix, std::size_t frames, double outRate) {
  const std::size_t length = voice.samples->size() / voice.format.nBlockAlign;
  if (length == 0) return;
  const double step = double(voice.frequency) / outRate;
  const float gain = float(std::pow(10.0, voice.volume / 2000.0));
  const float leftGain = gain * (voice.pan > 0 ? float(std::pow(10.0, -voice.pan / 2000.0)) : 1.0f);
  const float rightGain = gain * (voice.pan < 0 ? float(std::pow(10.0, voice.pan / 2000.0)) : 1.0f);
  double pos = voice.position;
  voice.mixedFrom = pos;
  for (std::size_t i = 0; i < frames; ++i) {
    const std::size_t index = std::size_t(pos);
    const float frac = float(pos - double(index));
    std::size_t next = index + 1;
    if (next >= length) next = voice.looping ? 0 : index;
    float l0, r0, l1, r1;
    ReadFrame(voice, index, &l0, &r0);
    ReadFrame(voice, next, &l1, &r1);
    mix[2 * i] += (l0 + (l1 - l0) * frac) * leftGain;
    mix[2 * i + 1] += (r0 + (r1 - r0) * frac) * rightGain;
    pos += step;
    if (pos >= double(length)) {
      if (!voice.looping) {
        voice.playing = false;
        pos = 0;
        voice.mixedFrom = 0;
        break;
      }
      pos = std::fmod(pos, double(length));
    }
  }
  voice.position = pos;
}

// Mixes into `out` (device format) under the mix lock.
void MixLocked(MixerState& m, std::uint8_t* out, std::size_t bytes) {
  const int channels = m.spec.channels;
  const int sampleBytes = SDL_AUDIO_BITSIZE(m.spec.format) / 8;
  const std::size_t frames = bytes / std::size_t(channels * sampleBytes);
  m.scratch.assign(frames * 2, 0.0f);
  for (SLSoundVoice* voice : m.voices)
    if (voice->playing) MixVoice(*voice, m.scratch.data(), frames, double(m.spec.freq));
  std::memset(out, m.spec.format == AUDIO_U8 ? 0x80 : 0, bytes);
  for (std::size_t i = 0; i < frames; ++i) {
    float frame[2] = {m.scratch[2 * i], m.scratch[2 * i + 1]};
    if (channels == 1) frame[0] = (frame[0] + frame[1]) * 0.5f;
    for (int c = 0; c < std::min(channels, 2); ++c) {
      std::uint8_t* p = out + (i * channels + c) * sampleBytes;
      const float v = std::clamp(frame[c], -1.0f, 1.0f);
      if (m.spec.format == AUDIO_U8) {
        *p = std::uint8_t(std::lrint(v * 127.0f) + 128);
      } else if (m.spec.format == AUDIO_S16SYS) {
        std::int16_t s = std::int16_t(std::clamp(std::lrint(v * 32768.0f), -32768L, 32767L));
        std::memcpy(p, &s, 2);
      } else {
        std::int32_t s = std::int32_t(std::clamp(std::llrint(double(v) * 2147483648.0), -2147483648LL, 2147483647LL));
        std::memcpy(p, &s, 4);
      }
    }
  }
  m.lastMixNs = SLPlatformMonotonicNs();
}

void Callback(void*, Uint8* stream, int length) {
  MixerState& m = Mixer();
  if (m.manual) {
    std::memset(stream, m.spec.format == AUDIO_U8 ? 0x80 : 0, std::size_t(length));
    return;
  }
  std::lock_guard<std::mutex> guard(m.mixLock);
  MixLocked(m, stream, std::size_t(length));
}

void CloseDevice(MixerState& m) {
  if (m.device) SDL_CloseAudioDevice(m.device);  // waits for a running callback
  m.device = 0;
}

// Opens the device at `format` (under the device lock, not the mix lock).
bool OpenDevice(MixerState& m, const WAVEFORMATEX& format) {
  SDL_AudioSpec want{};
  want.freq = int(format.nSamplesPerSec);
  want.channels = Uint8(std::clamp<int>(format.nChannels, 1, 8));
  want.format = format.wBitsPerSample <= 8 ? AUDIO_U8 : format.wBitsPerSample <= 16 ? AUDIO_S16SYS : AUDIO_S32SYS;
  want.samples = 1024;
  want.callback = Callback;
  SDL_AudioSpec have{};
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!device) return false;
  {
    std::lock_guard<std::mutex> guard(m.mixLock);
    m.spec = have;
    m.format = format;
    m.lastMixNs = SLPlatformMonotonicNs();
  }
  m.device = device;
  SDL_PauseAudioDevice(device, 0);
  return true;
}

}  // namespace

std::mutex& SLSoundMixerLock() { return Mixer().mixLock; }

bool SLSoundMixerAcquire() {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> guard(m.deviceLock);
  if (m.users == 0) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 22050, 22050 * 4, 4, 16, 0};
    if (!OpenDevice(m, format)) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
  }
  ++m.users;
  return true;
}

void SLSoundMixerRelease() {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> guard(m.deviceLock);
  if (m.users == 0 || --m.users > 0) return;
  CloseDevice(m);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

HRESULT SLSoundMixerSetFormat(const WAVEFORMATEX& format) {
  if (format.nChannels == 0 || format.nSamplesPerSec == 0 || format.wBitsPerSample == 0 ||
      format.wBitsPerSample > 32)
    return DSERR_INVALIDPARAM;
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> guard(m.deviceLock);
  if (m.users == 0) return DSERR_INVALIDCALL;
  const WAVEFORMATEX old = m.format;
  CloseDevice(m);
  if (OpenDevice(m, format)) return DS_OK;
  OpenDevice(m, old);
  return DSERR_BADFORMAT;
}

void SLSoundMixerAdd(SLSoundVoice* voice) { Mixer().voices.push_back(voice); }

void SLSoundMixerRemove(SLSoundVoice* voice) {
  std::vector<SLSoundVoice*>& voices = Mixer().voices;
  voices.erase(std::remove(voices.begin(), voices.end(), voice), voices.end());
}

double SLSoundMixerFramesPerCallback(const SLSoundVoice& voice) {
  const MixerState& m = Mixer();
  if (m.spec.freq <= 0) return 0;
  return double(m.spec.samples) * double(voice.frequency) / double(m.spec.freq);
}

double SLSoundMixerFramesSinceMix(const SLSoundVoice& voice) {
  const MixerState& m = Mixer();
  if (!voice.playing) return 0;
  if (m.manual) return std::numeric_limits<double>::infinity();
  const std::uint64_t now = SLPlatformMonotonicNs();
  const double seconds = now > m.lastMixNs ? double(now - m.lastMixNs) / 1e9 : 0.0;
  return std::min(seconds * double(voice.frequency), SLSoundMixerFramesPerCallback(voice));
}

void SLPlatformSoundSetManualPull(bool manual) { Mixer().manual = manual; }

bool SLPlatformSoundPull(void* out, std::size_t bytes) {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> guard(m.mixLock);
  if (m.spec.freq <= 0 || !out) return false;
  MixLocked(m, static_cast<std::uint8_t*>(out), bytes);
  return true;
}

bool SLPlatformSoundOutputFormat(WAVEFORMATEX* format) {
  MixerState& m = Mixer();
  std::lock_guard<std::mutex> guard(m.deviceLock);
  if (m.users == 0) return false;
  *format = m.format;
  return true;
}
