#include "app/dialogs/AudioChooser.h"

#include <cstring>

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/dialogs/AudioChooserKit.h"
#include "app/dialogs/AudioChooserRows.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/ModalStack.h"
#include "app/media/Mp3Finder.h"
#include "app/dialogs/Recorder.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLClassWalk.h"
#include "foundation/SLError.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiFrame.h"
#include "gui/SLGuiScrollBar.h"
#include "storage/SLFileStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGameChooseAudioFileDialog, CSL_GS_GuiTopLevelWindow)

namespace {

constexpr u32 kImageGroup = 1007;
// Buttons that start hidden and show when the dialog has a use for them.
constexpr u32 kHiddenPictureButton = APP_STYLE_PICTURE_BUTTON & ~SL_GUI_WS_VISIBLE;
constexpr u32 kHiddenTextButton = APP_STYLE_TEXT_BUTTON & ~SL_GUI_WS_VISIBLE;

// One category: its bit, its tab and where its files live below "Sfx". The three "%s"
// before the folder are the program directory and two empty prefixes.
struct Category {
  u32 bit;
  u32 tabId;
  const char* tabText;
  const char* listPattern;
  const char* previewPath;
  const char* relativeName;
};
const Category kCategories[5] = {
    {AUDIO_KIND_MEN, AUDIO_TAB_MEN_ID, "&Hombres", "%s%sSfx\\%sVoces de Hombre\\*.WAV",
     "%s%sSfx\\%sVoces de Hombre\\%s.WAV", "Voces de Hombre\\%s.WAV"},
    {AUDIO_KIND_WOMEN, AUDIO_TAB_WOMEN_ID, "&Mujeres", "%s%sSfx\\%sVoces de Mujer\\*.WAV",
     "%s%sSfx\\%sVoces de Mujer\\%s.WAV", "Voces de Mujer\\%s.WAV"},
    {AUDIO_KIND_RECORDED, AUDIO_TAB_RECORDED_ID, "&Grabadas", "%s%sSfx\\%sGrabadas\\*.WAV",
     "%s%sSfx\\%sGrabadas\\%s.WAV", "Grabadas\\%s.WAV"},
    {AUDIO_KIND_MUSIC, AUDIO_TAB_MUSIC_ID, "&M\xfasica", "%s%sSfx\\%sMusica Fondo\\*.MP3",
     "%s%sSfx\\%sMusica Fondo\\%s.MP3", "Musica Fondo\\%s.MP3"},
    {AUDIO_KIND_EFFECTS, AUDIO_TAB_EFFECTS_ID, "&Efectos", "%s%sSfx\\%sEfectos\\*.WAV", "%s%sSfx\\%sEfectos\\%s.WAV",
     "Efectos\\%s.WAV"},
};

const Category* CategoryOfTab(u32 tabId) {
  for (const Category& c : kCategories)
    if (c.tabId == tabId) return &c;
  return nullptr;
}

enum { kPlaySet, kStopSet, kMicSet, kSetCount };
AudioPictureSet g_pictures[kSetCount] = {
    {"Interface/Selecciona Audio/Reproducci\xf3n/play_%s.mximg", 4, {}},
    {"Interface/Selecciona Audio/Reproducci\xf3n/stop_%s.mximg", 4, {}},
    {"Interface/Selecciona Audio/Iconos/mic_%s.mximg", 3, {}},
};

const char* NameAt(const void* context, u32 index) {
  return static_cast<const CMyGameChooseAudioFileDialog*>(context)->files.GetData()[index];
}

// A found file's bare name: no folder, no extension.
char* BareName(const char* found) {
  const char* start = found;
  for (const char* at = found; *at; ++at)
    if (*at == '\\' || *at == '/') start = at + 1;
  char* name = SLStrDupA(start, true);
  if (!name) return nullptr;
  char* dot = nullptr;
  for (char* at = name; *at; ++at)
    if (*at == '.') dot = at;
  if (dot) *dot = 0;
  return name;
}

// The rows are the thin-lettered buttons of the program's pickers when that class is
// registered, else plain push buttons (found by name: the pickers own the class).
const SLClassRecord* RowButtonClass() {
  const SLClassRecord* button = CSL_GS_GuiButton::GetClassRecord();
  return SLFindDerivedClassByName(button, "CMyThinLetterButton", button);
}

// The controls the chooser cannot do without: one that cannot be made ends the program.
CSL_GS_GuiWindow* Create(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id,
                         CSL_GS_GuiWindow* parent) {
  return App_CreateWindowOrFatal(record, text, x, y, w, h, style, id, parent, APP_FATAL_AUDIO_CHOOSER_WINDOWS);
}

void PictureButton(const AudioPictureSet& set, i32 x, i32 y, u32 style, u32 id, CSL_GS_GuiWindow* parent) {
  if (!AudioDialog_PictureButton(set, x, y, style, id, parent))
    App_Fatal(APP_FATAL_AUDIO_CHOOSER_WINDOWS, "Insuficiente memoria");
}

}  // namespace

CMyGameChooseAudioFileDialog::CMyGameChooseAudioFileDialog() = default;

CMyGameChooseAudioFileDialog::~CMyGameChooseAudioFileDialog() {
  SLErrorKeeper keep;
  AudioDialog_FreeNames(&files);
}

void CMyGameChooseAudioFileDialog::StopPreview() {
  SLErrorKeeper keep;
  preview.Stop();
}

void CMyGameChooseAudioFileDialog::ClearSelection() {
  StopPreview();
  AudioDialog_Show(this, AUDIO_PLAY_ID, true);
  AudioDialog_Enable(this, AUDIO_PLAY_ID, false);
  AudioDialog_Show(this, AUDIO_STOP_ID, false);
  AudioDialog_Enable(this, AUDIO_STOP_ID, false);
  AudioDialog_Enable(this, 1, false);
  selected = AUDIO_NO_SELECTION;
}

void CMyGameChooseAudioFileDialog::FillCategory(u32 tabId) {
  const Category* chosen = CategoryOfTab(tabId);
  if (!chosen || tabId == category) return;
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  // The chosen tab stands 10 pixels taller than the others.
  if (CSL_GS_GuiWindow* previous = AudioDialog_Child(this, category)) {
    const SLGuiRect r = previous->GetWindowRect();
    previous->SetRect(r.x, r.y + 10, r.width, r.height - 10);
  }
  if (CSL_GS_GuiWindow* tab = AudioDialog_Child(this, tabId)) {
    const SLGuiRect r = tab->GetWindowRect();
    tab->SetRect(r.x, r.y - 10, r.width, r.height + 10);
  }
  category = tabId;
  AudioDialog_Show(this, AUDIO_MIC_ID, tabId == AUDIO_TAB_RECORDED_ID);
  AudioDialog_Show(this, AUDIO_FIND_MP3_ID, tabId == AUDIO_TAB_MUSIC_ID);
  ClearSelection();

  AudioDialog_FreeNames(&files);
  char pattern[4096];
  SLSnprintfA(pattern, sizeof pattern, chosen->listPattern, App_ProgramDirectory(), "", "");
  CSLFileStorage listing;
  for (SLStorageFindRecord* found = listing.FindFirstA(pattern); found; found = listing.FindNextA()) {
    if (found->flags & SL_FIND_DIRECTORY) continue;
    char* name = BareName(found->nameA);
    if (!name) App_Fatal(APP_FATAL_AUDIO_CHOOSER_NAMES, "Insuficiente memoria");
    if (!files.Add(name)) {
      SLFree(name);
      App_Fatal(APP_FATAL_AUDIO_CHOOSER_NAMES, "Insuficiente memoria");
    }
  }
  selected = AUDIO_NO_SELECTION;
  AudioRows_ResetScrollBar(this, FileCount());
  AudioRows_Fill(this, FileCount(), &NameAt, this, selected);
  CSL_GS_GuiManager& manager = App_GuiManager();
  manager.SetFocus(AudioDialog_Child(this, FileCount() ? u32(AUDIO_FIRST_ROW_ID) : 2u));
  SLSetLastError(SL_OK);
}

void CMyGameChooseAudioFileDialog::Finish(const char* name, u32 kind) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  char result[4096];
  if (name) SLSnprintfA(result, sizeof result, "%s", name);
  const AudioChosenCallback done = onDone;
  StopPreview();
  App_GuiManager().DestroyWindow(this);
  ModalStack_End();
  if (done) done(name ? result : nullptr, name ? kind : 0);
}

bool CMyGameChooseAudioFileDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (id >= AUDIO_FIRST_ROW_ID && id < AUDIO_FIRST_ROW_ID + AUDIO_ROW_COUNT) {
    OnCommand(source, AUDIO_STOP_ID);
    selected = AudioRows_Select(this, id);
    return SLSucceed(true);
  }
  if (CategoryOfTab(id)) {
    FillCategory(id);
    return SLSucceed(true);
  }
  switch (id) {
    case AUDIO_PLAY_ID: {
      const Category* current = CategoryOfTab(category);
      if (!current || selected >= FileCount()) return SLSucceed(true);
      char path[4096];
      SLSnprintfA(path, sizeof path, current->previewPath, App_ProgramDirectory(), "", "", files[selected]);
      // A file that does not open or play is simply not heard.
      AudioDialog_PlayPreview(this, &preview, path, nullptr, AUDIO_PLAY_ID, AUDIO_STOP_ID);
      return SLSucceed(true);
    }
    case AUDIO_STOP_ID:
      AudioDialog_StopPreview(this, &preview, AUDIO_PLAY_ID, AUDIO_STOP_ID);
      return SLSucceed(true);
    case AUDIO_MIC_ID:
    case AUDIO_FIND_MP3_ID:
      ClearSelection();
      AudioRows_Fill(this, FileCount(), &NameAt, this, selected);
      if (id == AUDIO_MIC_ID)
        MicRecorderDialog_Show(&ChooseAudioFileDialog_OnRecordingSaved, this);
      else
        Mp3FinderDialog_Show(&ChooseAudioFileDialog_OnMp3Chosen, this);
      return SLSucceed(true);
    case 1: {
      const Category* current = CategoryOfTab(category);
      if (!current || selected >= FileCount()) return SLSucceed(true);
      char name[4096];
      SLSnprintfA(name, sizeof name, current->relativeName, files[selected]);
      Finish(name, current->bit);
      return SLSucceed(true);
    }
    case 2:
      Finish(nullptr, 0);
      return SLSucceed(true);
    default:
      return CSL_GS_GuiTopLevelWindow::OnCommand(source, id);
  }
}

void CMyGameChooseAudioFileDialog::OnClose() { OnCommand(this, 2); }

void CMyGameChooseAudioFileDialog::OnDestroy() {
  AudioDialog_FreePictures(kImageGroup);
  CSL_GS_GuiTopLevelWindow::OnDestroy();
}

void CMyGameChooseAudioFileDialog::OnTimer(u32 id) {
  if (id != 1) return CSL_GS_GuiTopLevelWindow::OnTimer(id);
  AudioRows_Blink(this, FileCount(), selected);
}

bool CMyGameChooseAudioFileDialog::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (!source || source->GetId() != AUDIO_SCROLL_BAR_ID)
    return CSL_GS_GuiTopLevelWindow::OnVScroll(source, code, newPosition, oldPosition);
  AudioRows_Fill(this, FileCount(), &NameAt, this, selected);
  return SLSucceed(true);
}

CMyGameChooseAudioFileDialog* ChooseAudioFileDialog_Show(AudioChosenCallback onDone, u32 flags) {
  ModalStack_Begin(0);
  AudioDialog_LoadPictures(kImageGroup, g_pictures, kSetCount, -2001, -2002);
  CSL_GS_GuiManager& manager = App_GuiManager();
  const char* title = (flags & AUDIO_KIND_MUSIC) ? "Elije una canci\xf3n o un sonido" : "Elije un sonido";
  auto* dialog = static_cast<CMyGameChooseAudioFileDialog*>(Create(CMyGameChooseAudioFileDialog::GetClassRecord(), title, 0,
                                                                   0, 100, 100, APP_STYLE_DIALOG, AUDIO_CHOOSER_ID, nullptr));
  dialog->onDone = onDone;
  dialog->flags = flags;
  dialog->category = 0;
  dialog->selected = AUDIO_NO_SELECTION;
  if (!manager.SetTimer(dialog, 1, 250)) App_Fatal(APP_FATAL_AUDIO_CHOOSER_WINDOWS, "Insuficiente memoria");
  if (!AudioDialog_AttachPreview(&dialog->preview))
    App_Fatal(APP_FATAL_AUDIO_CHOOSER_PLAYER, "No puedo inicializar reproductor de audio");

  Create(CSL_GS_GuiFrame::GetClassRecord(), "", 20, 26, 258, 28, APP_STYLE_CHILD, AUDIO_SELECTION_FRAME_ID, dialog)
      ->Show(false);
  i32 tabX = 5;
  for (const Category& c : kCategories) {
    if (!(flags & c.bit)) continue;
    Create(CSL_GS_GuiButton::GetClassRecord(), c.tabText, tabX, 15, 80, 20, APP_STYLE_TEXT_BUTTON, c.tabId, dialog);
    tabX += 85;
  }
  for (u32 i = 0; i < AUDIO_ROW_COUNT; ++i)
    Create(RowButtonClass(), "", i32(i % 2) * 255 + 5, i32(i / 2) * 25 + 40, 250, 20, APP_STYLE_TEXT_BUTTON,
           AUDIO_FIRST_ROW_ID + i, dialog)
        ->SetTextFormat(0);
  Create(CSL_GS_GuiVScrollBar::GetClassRecord(), "", 515, 40, 20, 145, APP_STYLE_CHILD, AUDIO_SCROLL_BAR_ID, dialog);
  // Stop stands where play is and the finder's button where the microphone is: each shows
  // when its turn comes.
  PictureButton(g_pictures[kPlaySet], 20, 190, APP_STYLE_PICTURE_BUTTON | SL_GUI_WS_DISABLED, AUDIO_PLAY_ID, dialog);
  PictureButton(g_pictures[kStopSet], 20, 190, kHiddenPictureButton, AUDIO_STOP_ID, dialog);
  if (flags & AUDIO_KIND_RECORDED)
    PictureButton(g_pictures[kMicSet], 65, 190, kHiddenPictureButton, AUDIO_MIC_ID, dialog);
  if (flags & AUDIO_KIND_MUSIC)
    Create(CSL_GS_GuiButton::GetClassRecord(), "&Buscar MP3", 65, 190, 100, 30, kHiddenTextButton, AUDIO_FIND_MP3_ID,
           dialog);
  Create(CSL_GS_GuiButton::GetClassRecord(), "&Aceptar", 355, 190, 80, 30, APP_STYLE_TEXT_BUTTON, 1, dialog);
  Create(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 455, 190, 80, 30, APP_STYLE_TEXT_BUTTON, 2, dialog);

  const u32 first = (flags & AUDIO_KIND_MEN)        ? AUDIO_TAB_MEN_ID
                    : (flags & AUDIO_KIND_WOMEN)    ? AUDIO_TAB_WOMEN_ID
                    : (flags & AUDIO_KIND_RECORDED) ? AUDIO_TAB_RECORDED_ID
                    : (flags & AUDIO_KIND_MUSIC)    ? AUDIO_TAB_MUSIC_ID
                                                    : AUDIO_TAB_EFFECTS_ID;
  dialog->FillCategory(first);
  AudioDialog_PlaceOnStage(dialog, 540, 225);
  SLSetLastError(SL_OK);
  return dialog;
}

namespace {

void HandBack(const char* path, void* dialog, u32 kind) {
  if (!path || !dialog) return;  // the other dialog was cancelled: the chooser stays
  auto* chooser = static_cast<CMyGameChooseAudioFileDialog*>(dialog);
  if (!App_GuiManager().IsRegistered(chooser) || !chooser->IsKindOf(CMyGameChooseAudioFileDialog::GetClassRecord()))
    return;
  char flagged[4096];
  SLSnprintfA(flagged, sizeof flagged, "*%s", path);
  chooser->Finish(flagged, kind);
}

}  // namespace

void ChooseAudioFileDialog_OnMp3Chosen(const char* path, void* dialog) { HandBack(path, dialog, AUDIO_KIND_MUSIC); }

void ChooseAudioFileDialog_OnRecordingSaved(const char* name, void* dialog) {
  HandBack(name, dialog, AUDIO_KIND_RECORDED);
}
