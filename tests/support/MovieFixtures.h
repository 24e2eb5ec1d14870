// What the movie tests build their scenes from: catalogue records made in memory (a
// background whose stage mask is a function of the point, characters and objects whose
// pictures are real images of the device, so that sizes, hot spots and hit masks are
// those of loaded items), a sound device that logs every Play and Stop, and the
// monospaced bitmap font of the font fixtures.
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

// Catalogue records built in memory and inserted into the process-wide lists (sorted by
// name: a test adds them in name order so that each index it got stays valid); Free
// empties the three lists (the devices must still be alive).
struct MovieCatalog {
  // A w x h picture (format 5: B, G, R, A) with its hot spot, coloured by `pixel`
  // (0xAARRGGBB), made into an image of the device with its hit mask from the alpha.
  static SL_GS_Image* Picture(CSL_GS_BaseGfx* gfx, u32 w, u32 h, u32 hx, u32 hy,
                              const std::function<u32(u32, u32)>& pixel) {
    CSLImage image;
    if (!image.Create(5, w, h, false)) return nullptr;
    for (u32 y = 0; y < h; ++y)
      for (u32 x = 0; x < w; ++x) {
        const u32 p = pixel(x, y);
        u8* b = image.GetPixelAddress(x, y);
        b[0] = u8(p), b[1] = u8(p >> 8), b[2] = u8(p >> 16), b[3] = u8(p >> 24);
      }
    image.SetPoint(hx, hy);
    return gfx->CreateImage(&image, true);
  }
  static SL_GS_Image* Solid(CSL_GS_BaseGfx* gfx, u32 w, u32 h, u32 hx, u32 hy, u32 argb) {
    return Picture(gfx, w, h, hx, hy, [argb](u32, u32) { return argb; });
  }

  // A background named `name` whose stage mask alpha at (x, y) is alpha(x, y); with
  // pictures, a background and a foreground of the device. The list index.
  static i32 AddBackground(CSL_GS_BaseGfx* gfx, const char* name, const std::function<u8(i32, i32)>& alpha,
                           SL_GS_Image* background = nullptr, SL_GS_Image* foreground = nullptr) {
    auto* record = static_cast<SceneRecord*>(SLAlloc(sizeof(SceneRecord)));
    SceneRecord_Construct(record);
    record->name = name;
    record->itemClass = "Pruebas";
    record->mask.Create(SL_IMAGE_FORMAT_ALPHA, kStageWidth, kStageHeight, false);
    record->depthMin = 255, record->depthMax = 0;
    for (i32 y = 0; y < i32(kStageHeight); ++y)
      for (i32 x = 0; x < i32(kStageWidth); ++x) {
        const u8 a = alpha(x, y);
        *record->mask.GetPixelAddress(x, y) = a;
        if (a) record->depthMin = std::min(record->depthMin, i32(a)), record->depthMax = std::max(record->depthMax, i32(a));
      }
    record->background = background;
    record->foreground = foreground;
    (void)gfx;
    const char* fields[] = {name, "Pruebas"};
    ItemId_Compute(&record->id, fields, 2);
    EXPECT_TRUE(CatalogList_Insert(&SceneCatalog, record));
    return SceneCatalog_FindById(record->id);
  }

  struct ActionSpec {
    std::vector<SL_GS_Image*> frames[kDirectionCount];  // per direction; the sequence plays them in order
    u32 duration = 0, repeat = kRepeatEndless;
    SL_GS_SoundRecord* sound = nullptr;
    u32 soundLoops = 0;
    const char* nextState = "";
  };
  struct StateSpec {
    const char* name;
    i32 defaultAction;
  };
  static i32 AddCharacter(const char* name, bool floating, const std::vector<StateSpec>& states,
                          const std::vector<ActionSpec>& actions) {
    auto* record = static_cast<CharacterRecord*>(SLAlloc(sizeof(CharacterRecord)));
    CharacterRecord_Construct(record);
    record->name = name;
    record->itemClass = "Pruebas";
    record->initialState = states.empty() ? "" : states[0].name;
    record->floating = floating;
    for (const StateSpec& s : states) {
      CharacterState* state = CatalogAppendNew(&record->states, [](CharacterState* st) {
        new (st) CharacterState;
        st->defaultAction = 0, st->walkAction = st->talkAction = -1, st->exitFlag = 0;
      });
      state->name = s.name;
      state->defaultAction = s.defaultAction;
    }
    for (const ActionSpec& a : actions) {
      CharacterAction* action = CatalogAppendNew(&record->actions, CharacterAction_Construct);
      u32 count = 0;
      for (u32 d = 0; d < kDirectionCount; ++d) {
        for (SL_GS_Image* frame : a.frames[d]) action->frames[d].Add(frame);
        count = std::max<u32>(count, u32(a.frames[d].size()));
      }
      for (u32 k = 0; k < count; ++k) action->sequence.Add(k);
      action->duration = a.duration, action->repeat = a.repeat;
      action->sound = a.sound, action->soundLoops = a.soundLoops;
      action->nextState = a.nextState;
    }
    const char* fields[] = {name, "Pruebas", record->initialState.CStr()};
    ItemId_Compute(&record->id, fields, 3);
    EXPECT_TRUE(CatalogList_Insert(&CharacterCatalog, record));
    return CharacterCatalog_FindById(record->id);
  }

  struct ObjectStateSpec {
    const char* name;
    std::vector<SL_GS_Image*> frames;
    u32 duration = 0, repeat = kRepeatEndless;
    SL_GS_SoundRecord* sound = nullptr;
    u32 soundLoops = 0;
  };
  static i32 AddObject(const char* name, double floatDepth, const std::vector<ObjectStateSpec>& states,
                       const std::vector<std::pair<i32, i32>>& supportPoints = {}) {
    auto* record = static_cast<ObjectRecord*>(SLAlloc(sizeof(ObjectRecord)));
    ObjectRecord_Construct(record);
    record->name = name;
    record->itemClass = "Pruebas";
    record->initialState = states.empty() ? "" : states[0].name;
    record->floatDepth = floatDepth;
    for (auto [x, y] : supportPoints) {
      ObjectSupportPoint* point = CatalogAppendNew(&record->supportPoints, ObjectSupportPoint_Construct);
      point->x = x, point->y = y;
    }
    for (const ObjectStateSpec& s : states) {
      ObjectState* state = CatalogAppendNew(&record->states, ObjectState_Construct);
      state->name = s.name;
      for (SL_GS_Image* frame : s.frames) state->frames.Add(frame);
      for (u32 k = 0; k < s.frames.size(); ++k) state->sequence.Add(k);
      state->duration = s.duration, state->repeat = s.repeat;
      state->sound = s.sound, state->soundLoops = s.soundLoops;
    }
    const char* fields[] = {name, "Pruebas", record->initialState.CStr()};
    ItemId_Compute(&record->id, fields, 3);
    EXPECT_TRUE(CatalogList_Insert(&ObjectCatalog, record));
    return ObjectCatalog_FindById(record->id);
  }

  static void Free() {
    CharacterCatalog_Free();
    ObjectCatalog_Free();
    SceneCatalog_Free();
  }
};

// The monospaced font of the font fixtures: every printable ASCII glyph 5 wide, an advance
// of 7 (a word of n letters measures 7n - 2), 9 high.
inline SL_GS_Font* MovieTestMonoFont(CSL_GS_BaseGfx* gfx, const TempDir& dir) {
  SLTestCapture("python3 '" SL_SOURCE_DIR "/tools/make_font_fixtures.py' '" + dir.Host() + "'");
  return gfx->LoadFontFromFile(dir.Host("mono.fnt").c_str());
}
