// A sound device for the movie tests, benchmarks and fuzz targets: samples in memory,
// every Play and Stop written into a log.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "gamesystem/SLSfx.h"

// A sound device that keeps the samples in memory and logs "play S v2 loop1 @123" and
// "stop S v2", S being the sound's number in order of creation.
class CRecordingSfx : public CSL_GS_BaseSfx {
 public:
  ~CRecordingSfx() override { Shutdown(); }
  bool Init(HINSTANCE, HWND, const SLAudioFormat*) override { return SLSucceed(true); }
  void Shutdown() override { while (DestroyNewestSound()) continue; }
  bool Play(SL_GS_SoundRecord* sound, u32 loop, u32* voice, u32 firstFrame, double) override {
    const u32 index = sound->nextVoice < sound->voiceCount ? sound->nextVoice : 0;
    sound->nextVoice = index + 1 < sound->voiceCount ? index + 1 : 0;
    if (voice) *voice = index + 1;
    log += "play " + Name(sound) + " v" + std::to_string(index + 1) + " loop" + std::to_string(loop) + " @" +
           std::to_string(firstFrame) + "\n";
    return SLSucceed(true);
  }
  bool StartCapture(SL_GS_SoundRecord*, SL_GS_CaptureCallback, std::uintptr_t) override { return false; }
  bool Stop(SL_GS_SoundRecord* sound, u32 voice) override {
    if (!IsValidSound(sound)) return false;
    log += "stop " + Name(sound) + " v" + std::to_string(voice) + "\n";
    return SLSucceed(true);
  }
  bool GetPlayPosition(SL_GS_SoundRecord*, u32, u32* frame) override { return *frame = 0, SLSucceed(true); }
  // The sound's own samples from `from`, in two parts when the range wraps.
  bool Lock(void** first, u32* firstFrames, void** second, u32* secondFrames, SL_GS_SoundRecord* sound, u32 from,
            u32 count) override {
    if (!IsValidSound(sound) || sound->length == 0) return SLFail(SL_E_INVALID_ARG, false);
    from %= sound->length;
    if (count > sound->length) count = sound->length;
    const u32 align = sound->format.blockAlign, head = std::min(count, sound->length - from);
    *first = sound->samples + u64(from) * align, *firstFrames = head;
    *second = count > head ? sound->samples : nullptr, *secondFrames = count - head;
    return SLSucceed(true);
  }
  bool Unlock(SL_GS_SoundRecord*) override { return SLSucceed(true); }
  bool CreateSoundObjects(SL_GS_SoundRecord* sound) override {
    numbers.push_back(sound);
    return SLSucceed(true);
  }
  void FreeSoundObjects(SL_GS_SoundRecord*) override {}
  bool CanSetSpeed(SL_GS_SoundRecord*, u32, double) override { return SLSucceed(true); }
  bool CanSetPan(SL_GS_SoundRecord*, u32, i32) override { return SLSucceed(true); }
  bool CanSetVolume(SL_GS_SoundRecord*, u32, u32) override { return SLSucceed(true); }
  bool ApplyVoiceSetting(SL_GS_SoundRecord*, u32, u32) override { return SLSucceed(true); }

  // A sound of `frames` 16-bit mono frames at `rate`, with three voices.
  SL_GS_SoundRecord* MakeSound(u32 frames, u32 rate) {
    const SLAudioFormat format{1, 1, 16, rate, rate * 2, 2};
    return CreateSound(frames, &format, 3);
  }
  std::string Name(SL_GS_SoundRecord* sound) const {
    for (size_t i = 0; i < numbers.size(); ++i)
      if (numbers[i] == sound) return "S" + std::to_string(i + 1);
    return "S?";
  }
  std::string TakeLog() { return std::exchange(log, std::string()); }

  std::string log;
  std::vector<SL_GS_SoundRecord*> numbers;
};

