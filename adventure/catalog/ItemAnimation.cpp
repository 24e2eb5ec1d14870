#include "adventure/catalog/ItemAnimation.h"

#include "adventure/AdventureDevices.h"
#include "adventure/catalog/CatalogList.h"
#include "adventure/catalog/ItemDescription.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/SLSfx.h"
#include "image/SLImageArray.h"
#include "image/readers/SLImageReaderMXIMG.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "storage/SLBaseStorage.h"

namespace {
constexpr u32 kNameSize = ItemDescription::kValueSize + 64;
constexpr u32 kSoundVoices = 3;

void FrameName(char* buffer, const char* base, u32 number) {
  SLSnprintfA(buffer, kNameSize, "%s_%02lu.mximg", base, static_cast<unsigned long>(number));
}

const char* LastComponent(const char* path) {
  const char* last = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') last = p + 1;
  return last;
}

// True when the pack lists a file of exactly that name (letter case aside).
bool HasEntry(CSLBaseStorage* pack, const char* name) {
  SLErrorKeeper keep;
  const char* wanted = LastComponent(name);
  for (SLStorageFindRecord* found = pack->FindFirstA(name); found; found = pack->FindNextA())
    if ((found->flags & SL_FIND_FILE) && SLStrICmpA(found->nameA, wanted) == 0) return true;
  return false;
}

bool LoadFrame(CSLBaseStorage* pack, const char* name, ItemFrameArray* frames, u32* width, u32* height) {
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, false);
  if (!pack->OpenA(name, 0)) return false;
  auto close = SLMakeScopeGuard([&] { pack->Close(); });
  CSLImageReaderMXIMG reader;
  CSLImageArray images;
  if (!reader.Read(&images, pack, 0)) return false;
  if (images.GetCount() == 0) return SLFail(SL_E_MALFORMED, false);
  CSLImage* picture = images[0];
  if (width) *width = picture->GetWidth(), *height = picture->GetHeight();
  SL_GS_Image* image = gfx->CreateImage(picture, false);
  if (!image) return false;
  if (!frames->Add(image)) {
    gfx->DestroyImage(image);
    return false;
  }
  return gfx->BuildHitMaskFromAlpha(image);
}
}  // namespace

bool ItemFrames_Count(CSLBaseStorage* pack, const char* base, u32* count) {
  char name[kNameSize];
  u32 n = 0;
  for (;; ++n) {
    FrameName(name, base, n + 1);
    if (!HasEntry(pack, name)) break;
  }
  *count = n;
  return SLSucceed(true);
}

bool ItemFrames_Load(CSLBaseStorage* pack, const char* base, u32 count, ItemFrameArray* frames, u32* width,
                     u32* height) {
  if (!frames->Reserve(frames->GetCount() + count)) return false;
  char name[kNameSize];
  for (u32 k = 1; k <= count; ++k) {
    FrameName(name, base, k);
    if (!LoadFrame(pack, name, frames, k == 1 ? width : nullptr, height)) return false;
  }
  return SLSucceed(true);
}

void ItemFrames_Release(ItemFrameArray* frames, u32 exitFlag) {
  SLErrorKeeper keep;
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!exitFlag && gfx)
    for (SL_GS_Image* image : *frames) gfx->DestroyImage(image);
  frames->Free();
}

bool ItemAnimation_ReadSequence(ItemDescription* description, const char* section, u32 frameCount,
                                TSLArray<u32>* sequence) {
  char value[ItemDescription::kValueSize], token[ItemDescription::kValueSize];
  bool explicitOrder;
  if (!description->GetNonEmpty(section, "Animaci\xF3n_Secuencia", value, sizeof value, &explicitOrder)) return false;
  if (explicitOrder) {
    for (u32 n = 1; ItemDescription_GetToken(value, n, token, sizeof token); ++n) {
      u32 frame;
      if (!ItemDescription_ParseUInt(token, &frame, false)) return false;
      if (frame < 1 || frame > frameCount) return SLFail(SL_E_MALFORMED, false);
      if (!sequence->Add(frame - 1)) return false;
    }
    return sequence->GetCount() ? SLSucceed(true) : SLFail(SL_E_MALFORMED, false);
  }
  bool pingPong, reverse;
  if (!description->GetYesNo(section, "Animaci\xF3n_Ida_y_Vuelta", false, &pingPong) ||
      !description->GetYesNo(section, "Animaci\xF3n_Sentido_Inverso", false, &reverse))
    return false;
  // One pass forward (or backward), then, for ping-pong, back again without repeating the
  // turning frame.
  const u32 entries = pingPong && frameCount ? 2 * frameCount - 1 : frameCount;
  if (!sequence->SetSize(entries)) return false;
  for (u32 i = 0; i < entries; ++i) {
    const u32 forward = i < frameCount ? i : 2 * (frameCount - 1) - i;
    (*sequence)[i] = reverse ? frameCount - 1 - forward : forward;
  }
  return SLSucceed(true);
}

bool ItemAnimation_ReadTiming(ItemDescription* description, const char* section, u32* duration, u32* repeat) {
  char value[ItemDescription::kValueSize];
  if (!description->GetRequired(section, "Animaci\xF3n_Duraci\xF3n", value, sizeof value) ||
      !ItemDescription_ParseUInt(value, duration, false))
    return false;
  if (*duration == 0) return SLFail(SL_E_MALFORMED, false);
  bool present;
  if (!description->GetValue(section, "Animaci\xF3n_Repite", value, sizeof value, &present)) return false;
  *repeat = 1;
  if (!present || SLStrICmpA(value, "NO") == 0) return SLSucceed(true);
  if (SLStrICmpA(value, "SIEMPRE") == 0) return *repeat = kRepeatEndless, SLSucceed(true);
  if (!ItemDescription_ParseUInt(value, repeat, false)) return false;
  if (*repeat == 0) *repeat = 1;
  return SLSucceed(true);
}

bool ItemSound_Read(ItemDescription* description, CSLBaseStorage* pack, const char* section, SL_GS_SoundRecord** sound,
                    u32* loops) {
  char value[ItemDescription::kValueSize];
  bool present;
  if (!description->GetValue(section, "Audio", value, sizeof value, &present)) return false;
  if (present) {
    CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
    if (!sfx) return SLFail(SL_E_NOT_INITIALISED, false);
    if (!pack->OpenA(value, 0)) return false;
    auto close = SLMakeScopeGuard([&] { pack->Close(); });
    *sound = sfx->LoadSoundFromStorage(pack, kSoundVoices, CSLVideoAudioReaderWAV::GetClassRecord());
    if (!*sound) return false;
  }
  bool repeat;
  if (!description->GetYesNo(section, "Audio_Repite", false, &repeat)) return false;
  *loops = repeat;
  return SLSucceed(true);
}

void ItemSound_Release(SL_GS_SoundRecord** sound, u32 exitFlag) {
  SLErrorKeeper keep;
  CSL_GS_BaseSfx* sfx = AdventureDevices_Get().sfx;
  if (*sound && !exitFlag && sfx) sfx->DestroySound(*sound);
  *sound = nullptr;
}
