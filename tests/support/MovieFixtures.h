// What the movie tests build their scenes from: catalogue records made in memory
// (MovieCatalog.h), a graphics device that logs what is drawn, a sound device that logs
// every Play and Stop, and the monospaced bitmap font of the font fixtures.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "gamesystem/SLSfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "tests/support/MemoryGfxDevice.h"
#include "tests/support/MovieCatalog.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSupport.h"

// Records every image and text drawn, with the options that came with it.
class CDrawLogGfx : public CMemoryGfxDevice {
 public:
  struct Draw {
    bool text;
    SL_GS_Image* image;  // null for text
    i32 x, y;
    SL_GS_DrawImageOptions options;
    std::u16string chars;
  };
  bool DrawImage(SL_GS_Image* image, i32 x, i32 y, const SL_GS_DrawImageOptions* options) override {
    draws.push_back({false, image, x, y, options ? *options : SL_GS_DrawImageOptions{}, u""});
    return CMemoryGfxDevice::DrawImage(image, x, y, options);
  }
  i32 DrawTextW(SL_GS_Font* font, i32 x, i32 y, u32 placement, const SL_GS_DrawImageOptions* options,
                const SLWChar* text, u32 length) override {
    draws.push_back({true, nullptr, x, y, options ? *options : SL_GS_DrawImageOptions{}, std::u16string(text, length)});
    return CMemoryGfxDevice::DrawTextW(font, x, y, placement, options, text, length);
  }
  std::vector<Draw> draws;
};

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

// The monospaced font of the font fixtures: every printable ASCII glyph 5 wide, an advance
// of 7 (a word of n letters measures 7n - 2), 9 high.
inline SL_GS_Font* MovieTestMonoFont(CSL_GS_BaseGfx* gfx, const TempDir& dir) {
  SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/make_font_fixtures.py' '" + dir.Host() + "'");
  return gfx->LoadFontFromFile(dir.Host("mono.fnt").c_str());
}
