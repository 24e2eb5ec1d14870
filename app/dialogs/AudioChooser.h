// The audio chooser: a sound for the movie from one of five categories (men's voices,
// women's voices, own recordings, background music, effects), each a folder below
// "Sfx", listed in two columns with a preview. The result goes to a completion callback
// as a name relative to "Sfx" ("Efectos\Pop.WAV") with the category's bit, or as "*"
// and a full path for a recording (bit 8) or an MP3 found on the disk (bit 16). The
// recorder and the MP3 finder open from here and hand their result back through it.
#pragma once

#include "app/dialogs/AudioChooserRows.h"
#include "foundation/SLArray.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "media/SLMoviePlayer.h"

// Category bits, as offered in `flags` and returned as the kind.
enum : u32 {
  AUDIO_KIND_EFFECTS = 1,
  AUDIO_KIND_MEN = 2,
  AUDIO_KIND_WOMEN = 4,
  AUDIO_KIND_RECORDED = 8,
  AUDIO_KIND_MUSIC = 16,
};

// Ids of the dialog and its own buttons (the rows, bar, frame and preview buttons are
// AudioChooserRows.h's).
enum : u32 {
  AUDIO_CHOOSER_ID = 1007,
  AUDIO_TAB_MEN_ID = 201,
  AUDIO_TAB_WOMEN_ID = 202,
  AUDIO_TAB_RECORDED_ID = 203,
  AUDIO_TAB_MUSIC_ID = 204,
  AUDIO_TAB_EFFECTS_ID = 205,
  AUDIO_MIC_ID = 210,
  AUDIO_FIND_MP3_ID = 211,
};

// (name, kind) on accept; (null, 0) on cancel. The name lives only during the call.
using AudioChosenCallback = void (*)(const char* name, u32 kind);

class CMyGameChooseAudioFileDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyGameChooseAudioFileDialog)
 public:
  CMyGameChooseAudioFileDialog();
  ~CMyGameChooseAudioFileDialog() override;

  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  void OnClose() override;
  void OnDestroy() override;
  void OnTimer(u32 id) override;
  // The bar moved: the rows show the names from the new line on.
  bool OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) override;

  // Lists the category of tab `tabId`; nothing when it is the current one.
  void FillCategory(u32 tabId);
  // Stops the preview, closes the dialog and its modal level, then calls the completion.
  void Finish(const char* name, u32 kind);

  CSL_GS_MoviePlayer preview;
  TSLArray<char*> files;  // bare names (no folder, no extension) of the current category
  AudioChosenCallback onDone = nullptr;
  u32 flags = 0;
  u32 category = 0;  // the current tab's id, 0 before the first fill
  u32 selected = 0xFFFFFFFF;

  u32 FileCount() const { return files.GetCount(); }

 private:
  void StopPreview();
  // Drops the selection and leaves play disabled, stop hidden and accept disabled.
  void ClearSelection();
};

// Opens the chooser with the offered categories.
CMyGameChooseAudioFileDialog* ChooseAudioFileDialog_Show(AudioChosenCallback onDone, u32 flags);
// Completions of the MP3 finder and the recorder: null leaves the chooser open; a path
// closes it and reports "*" + path with kind 16 or 8.
void ChooseAudioFileDialog_OnMp3Chosen(const char* path, void* dialog);
void ChooseAudioFileDialog_OnRecordingSaved(const char* name, void* dialog);
