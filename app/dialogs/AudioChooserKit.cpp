#include "app/dialogs/AudioChooserKit.h"

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "media/SLMoviePlayer.h"
#include "storage/SLFastFileStorage.h"

namespace {
const char* const kStateNames[4] = {"Normal", "Over", "Click", "Disabled"};
}

void AudioDialog_LoadPictures(u32 group, AudioPictureSet* sets, u32 count, i32 groupCode, i32 imageCode) {
  AppServices& s = App_Services();
  if (!s.gfx->SetImageGroup(group)) App_Fatal(groupCode, "No puedo cargar im\xe1genes");
  for (u32 i = 0; i < count; ++i) {
    for (u32 state = 0; state < 4; ++state) {
      sets[i].pictures[state] = nullptr;
      if (state >= sets[i].states) continue;
      char name[1024];
      SLSnprintfA(name, sizeof name, sets[i].format, kStateNames[state]);
      sets[i].pictures[state] = App_LoadInterfacePicture(name);
      if (!sets[i].pictures[state]) App_Fatal(imageCode, "No puedo cargar im\xe1genes");
    }
  }
  s.gfx->SetImageGroup(1);
  SLSetLastError(SL_OK);
}

void AudioDialog_FreePictures(u32 group) {
  SLErrorKeeper keep;
  App_Services().gfx->DestroyImagesOfGroup(group);
}

CSL_GS_GuiWindow* AudioDialog_Create(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h,
                                     u32 style, u32 id, CSL_GS_GuiWindow* parent) {
  return App_GuiManager().CreateWindow(record, text, x, y, w, h, style, AppSkin, id, parent);
}

CSL_GS_GuiWindow* AudioDialog_PictureButton(const AudioPictureSet& set, i32 x, i32 y, u32 style, u32 id,
                                            CSL_GS_GuiWindow* parent) {
  auto* button = static_cast<CSL_GS_GuiButton*>(
      AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "", x, y, 30, 30, style, id, parent));
  if (!button) return nullptr;
  bool ok = button->SetNormalImage(set.pictures[0]) && button->SetOverImage(set.pictures[1]) &&
            button->SetClickImage(set.pictures[2]) && button->SetImageAlignment(18);
  if (ok && set.pictures[3]) ok = button->SetDisabledImage(set.pictures[3]);
  if (!ok) {
    SLErrorKeeper keep;
    App_GuiManager().DestroyWindow(button);
    return nullptr;
  }
  return button;
}

CSL_GS_GuiWindow* AudioDialog_Child(CSL_GS_GuiWindow* dialog, u32 id) {
  return dialog ? App_GuiManager().FindChildById(dialog, id) : nullptr;
}

void AudioDialog_Show(CSL_GS_GuiWindow* dialog, u32 id, bool show) {
  if (CSL_GS_GuiWindow* child = AudioDialog_Child(dialog, id)) child->Show(show);
}

void AudioDialog_Enable(CSL_GS_GuiWindow* dialog, u32 id, bool enable) {
  if (CSL_GS_GuiWindow* child = AudioDialog_Child(dialog, id)) child->Enable(enable);
}

void AudioDialog_ShowPlaying(CSL_GS_GuiWindow* dialog, u32 playId, u32 stopId, bool playing) {
  AudioDialog_Show(dialog, stopId, playing);
  AudioDialog_Show(dialog, playId, !playing);
}

void AudioDialog_FreeNames(TSLArray<char*>* names) {
  SLErrorKeeper keep;
  for (char* name : *names) SLFree(name);
  names->SetSize(0);
}

bool AudioDialog_PlaceOnStage(CSL_GS_GuiWindow* dialog, i32 clientWidth, i32 clientHeight) {
  if (!dialog->SetClientSize(clientWidth, clientHeight)) return false;
  const SLGuiRect& outer = dialog->GetWindowRect();
  return dialog->Move((664 - outer.width) / 2 + 108, (372 - outer.height) / 2 + 148);
}

bool AudioDialog_AttachPreview(CSL_GS_MoviePlayer* preview) {
  AppServices& s = App_Services();
  return preview->SetGfx(s.gfx) && preview->SetSfx(s.sfx);
}

bool AudioDialog_PlayPreview(CSL_GS_GuiWindow* dialog, CSL_GS_MoviePlayer* preview, const char* path,
                             const SLClassRecord* reader, u32 playId, u32 stopId) {
  if (!preview->Open(path, reader) || !preview->Play(1, 1.0, false, false)) return false;
  AudioDialog_ShowPlaying(dialog, playId, stopId, true);
  return SLSucceed(true);
}

void AudioDialog_StopPreview(CSL_GS_GuiWindow* dialog, CSL_GS_MoviePlayer* preview, u32 playId, u32 stopId) {
  {
    SLErrorKeeper keep;
    preview->Stop();
  }
  AudioDialog_ShowPlaying(dialog, playId, stopId, false);
}
