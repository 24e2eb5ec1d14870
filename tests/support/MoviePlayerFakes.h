// What the movie player's tests drive it with: a sound device whose play position the
// test sets and whose calls fail on request, a graphics device with a back buffer in
// memory, and writers of WAV and MXV files whose every sample and pixel is known.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "gamesystem/SLSfx.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tools/common/WavHeader.h"
#include "tools/mxvwrite/MxvWriter.h"

// Waits for what a player thread does on its next ticks; one that never gets there fails
// the test after 20 s instead of hanging it.
template <class Done>
bool SLTestEventually(Done done) {
  for (int i = 0; i < 20000; ++i, SLSleep(1))
    if (done()) return true;
  return false;
}

class CFakeSfx : public CSL_GS_BaseSfx {
 public:
  ~CFakeSfx() override { Shutdown(); }
  bool Init(HINSTANCE, HWND, const SLAudioFormat*) override { return SLSucceed(true); }
  void Shutdown() override { while (DestroyNewestSound()) continue; }
  bool Play(SL_GS_SoundRecord* sound, u32, u32*, u32, double) override {
    return position = 0, ring = sound, SLSucceed(true);
  }
  bool StartCapture(SL_GS_SoundRecord*, SL_GS_CaptureCallback, std::uintptr_t) override { return false; }
  bool Stop(SL_GS_SoundRecord*, u32) override { return SLSucceed(true); }
  bool GetPlayPosition(SL_GS_SoundRecord* sound, u32, u32* frame) override {
    return *frame = position % sound->length, SLSucceed(true);
  }
  bool Lock(void** first, u32* firstFrames, void** second, u32* secondFrames, SL_GS_SoundRecord* sound, u32 from,
            u32 count) override {
    const u32 align = sound->format.blockAlign, head = std::min(count, sound->length - from);
    *first = sound->samples + u64(from) * align, *firstFrames = head;
    *second = count > head ? sound->samples : nullptr, *secondFrames = count - head;
    return SLSucceed(true);
  }
  bool Unlock(SL_GS_SoundRecord*) override { return SLSucceed(true); }
  bool CreateSoundObjects(SL_GS_SoundRecord*) override { return failCreate ? SLFail(0x8001000F, false) : true; }
  void FreeSoundObjects(SL_GS_SoundRecord*) override {}
  bool CanSetSpeed(SL_GS_SoundRecord*, u32, double) override { return SLSucceed(true); }
  bool CanSetPan(SL_GS_SoundRecord*, u32, i32) override { return SLSucceed(true); }
  bool CanSetVolume(SL_GS_SoundRecord*, u32, u32) override { return SLSucceed(true); }
  bool ApplyVoiceSetting(SL_GS_SoundRecord*, u32, u32) override { return SLSucceed(true); }

  std::atomic<u32> position{0};  // where the voice plays in the ring
  std::atomic<SL_GS_SoundRecord*> ring{nullptr};  // the last sound played
  std::atomic<bool> failCreate{false};
};

// A 32-bit back buffer (format 7: B, G, R, spare) filled with 0xEE.
class CBackBufferGfx : public CMemoryGfxDevice {
 public:
  CBackBufferGfx() { Init(nullptr, nullptr, nullptr), Clear(); }
  using CMemoryGfxDevice::Clear;  // the device's own clear of rectangles stays callable
  void Clear() { m_back.assign(size_t(m_width) * m_height * 4, 0xEE); }
  SL_GS_SurfaceAccess* LockBackBuffer(bool) override {
    m_lock = {0, 7, m_width, m_height, m_width * 4, m_back.data()};
    return SLSucceed(&m_lock);
  }
  bool UnlockBackBuffer() override { return SLSucceed(true); }
  const u8* Pixel(u32 x, u32 y) const { return &m_back[(size_t(y) * m_width + x) * 4]; }

  std::vector<u8> m_back;
  SL_GS_SurfaceAccess m_lock{};
};

// Sample frame n of the test sounds: byte i is never the silence of either width.
inline u8 SLTestSampleByte(u64 n, u32 i) { return u8(1 + (n * 7 + i * 3) % 120); }

inline void SLTestWriteWav(const std::string& path, u32 bits, u32 channels, u32 rate, u64 frames) {
  const u32 align = bits / 8 * channels;
  const SLAudioFormat format{1, channels, bits, rate, rate * align, align};
  std::vector<u8> data(44 + frames * align);
  SLToolWavHeader(*reinterpret_cast<u8(*)[44]>(data.data()), format, u32(data.size() - 8), u32(frames * align));
  for (u64 b = 0; b < frames * align; ++b) data[44 + b] = SLTestSampleByte(b / align, u32(b % align));
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(data.data(), 1, data.size(), file);
  std::fclose(file);
}

// Picture f of the test movies, BGR, top row first.
inline std::vector<u8> SLTestPicture(u32 width, u32 height, u32 f) {
  std::vector<u8> bgr(size_t(width) * height * 3);
  for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = u8((i / 3 % width) * 5 + (i / 3 / width) * 3 + (i % 3) * 80 + f * 17);
  return bgr;
}

// An MXV movie of `frames` pictures; with sound of `soundFrames` 16-bit mono PCM frames.
inline bool SLTestWriteMovie(const std::string& path, u32 width, u32 height, u32 bits, u32 fps, u32 frames,
                             u64 soundFrames = 0) {
  slmxv::MxvWriter writer;
  slmxv::VideoSettings video;
  video.width = width, video.height = height, video.bitsPerPixel = bits, video.framesPerSecond = fps;
  slmxv::AudioSettings audio;
  std::string error;
  if (!writer.Create(path, 2, &video, soundFrames ? &audio : nullptr, &error)) return false;
  std::vector<u8> samples(soundFrames * 2);
  for (size_t b = 0; b < samples.size(); ++b) samples[b] = SLTestSampleByte(b / 2, b % 2);
  if (soundFrames && !writer.SetAudio(samples.data(), soundFrames, &error)) return false;
  for (u32 f = 0; f < frames; ++f)
    if (!writer.AddFrame(SLTestPicture(width, height, f).data(), &error)) return false;
  return writer.Finish(&error);
}
