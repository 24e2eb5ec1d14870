// The software mixer under the "dsound.dll" stand-in: every secondary buffer is a
// voice; the mixer resamples, attenuates and pans them into one SDL audio device that
// runs at the primary buffer's format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/winsound.h"

struct SLSoundVoice {
  std::shared_ptr<std::vector<std::uint8_t>> samples;  // shared with the duplicates
  WAVEFORMATEX format{};
  double position = 0;   // in frames of the source: what the mixer has consumed
  double mixedFrom = 0;  // the position at the start of the last mix that took the voice
  bool playing = false;
  bool looping = false;
  DWORD frequency = 0;
  LONG volume = 0;  // hundredths of a decibel, -10000..0
  LONG pan = 0;     // -10000 (left) .. 10000 (right)
};

// The lock the mixer callback holds while it reads the voices; writers of voice state
// and sample memory take it too.
std::mutex& SLSoundMixerLock();

// Users (device and buffer objects) keep the audio device open; the first opens SDL's
// audio at 22050 Hz, stereo, 16 bits, the last closes it. False when SDL has no output.
bool SLSoundMixerAcquire();
void SLSoundMixerRelease();
HRESULT SLSoundMixerSetFormat(const WAVEFORMATEX& format);
void SLSoundMixerAdd(SLSoundVoice* voice);     // under the mixer lock
void SLSoundMixerRemove(SLSoundVoice* voice);  // under the mixer lock
// Source frames the voice has played since the last mix (real time, at most one
// callback's worth); unlimited while tests pull the mix themselves, where everything
// pulled counts as played. Under the mixer lock.
double SLSoundMixerFramesSinceMix(const SLSoundVoice& voice);
// Source frames one callback of the device covers for this voice. Under the mixer lock.
double SLSoundMixerFramesPerCallback(const SLSoundVoice& voice);

// Tests: with manual pull the device plays silence and the mix comes only from
// SLPlatformSoundPull, which mixes `bytes` bytes of the output format into `out`.
void SLPlatformSoundSetManualPull(bool manual);
bool SLPlatformSoundPull(void* out, std::size_t bytes);
// The output format the device runs at (false while no device is open).
bool SLPlatformSoundOutputFormat(WAVEFORMATEX* format);
// Tests: a hidden capture device makes DirectSoundCaptureCreate8 fail as on a system
// without a microphone.
void SLPlatformSoundHideCapture(bool hidden);
