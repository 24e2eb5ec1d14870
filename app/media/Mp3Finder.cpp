#include "app/media/Mp3Finder.h"

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/dialogs/AudioChooserKit.h"
#include "app/dialogs/AudioChooserRows.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/ModalStack.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiFrame.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiScrollBar.h"
#include "storage/SLFileFinder.h"
#include "storage/SLIniFile.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyMP3FinderDialog, CSL_GS_GuiTopLevelWindow)

namespace {

constexpr u32 kImageGroup = 1028;
// The list's controls wait hidden while the search runs.
constexpr u32 kHiddenTabButton = APP_STYLE_TAB_BUTTON & ~SL_GUI_WS_VISIBLE;
constexpr char kSection[] = "BuscaMP3";
constexpr char kCompleteKey[] = "EscaneoCompleto";
constexpr u32 kDriveFixed = 3;

enum { kPlaySet, kStopSet, kSetCount };
AudioPictureSet g_pictures[kSetCount] = {
    {"Interface/Selecciona Audio/Reproducci\xf3n/play_%s.mximg", 4, {}},
    {"Interface/Selecciona Audio/Reproducci\xf3n/stop_%s.mximg", 4, {}},
};

// A row shows the file's name with its extension, without drive or folder.
const char* FileNameAt(const void* context, u32 index) {
  const char* path = static_cast<const CMyMP3FinderDialog*>(context)->files.GetData()[index];
  const char* name = path;
  for (const char* at = path; *at; ++at)
    if (*at == '\\' || *at == '/') name = at + 1;
  return name;
}

// "EscaneoCompleto" read as an unsigned decimal number (anything else reads as 0).
u32 ReadNumber(const char* text) {
  u64 value = 0;
  const char* at = text;
  while (*at == ' ' || *at == '\t') ++at;
  if (*at < '0' || *at > '9') return 0;
  for (; *at >= '0' && *at <= '9'; ++at) {
    value = value * 10 + u32(*at - '0');
    if (value > 0xFFFFFFFFu) return 0;
  }
  return u32(value);
}

bool IsArchKey(const char* key) {
  if (SLStrNICmpA(key, "Arch", 4) != 0 || !key[4]) return false;
  for (const char* at = key + 4; *at; ++at)
    if (*at < '0' || *at > '9') return false;
  return true;
}

// Forgets the remembered list: every "Arch<n>" key of the section goes.
void DeleteStoredPaths(CSLIniFile* settings) {
  CSLStringAnsi key;
  for (u32 index = 0; settings->GetKeyNameA(kSection, index, key);) {
    if (IsArchKey(key.CStr()))
      settings->DeleteKeyA(kSection, key.CStr(), 0);
    else
      ++index;
  }
}

using GetDriveTypeProc = u32 (*)(const char* root);

u32 FinderThread(CSLWorkerThread*, std::uintptr_t dialog) {
  reinterpret_cast<CMyMP3FinderDialog*>(dialog)->ThreadMain();
  return 0;
}

}  // namespace

CMyMP3FinderDialog::CMyMP3FinderDialog() : m_thread(&FinderThread, reinterpret_cast<std::uintptr_t>(this)) {}

CMyMP3FinderDialog::~CMyMP3FinderDialog() {
  SLErrorKeeper keep;
  StopThread();
  AudioDialog_FreeNames(&files);
}

void CMyMP3FinderDialog::StopPreview() {
  SLErrorKeeper keep;
  preview.Stop();
}

void CMyMP3FinderDialog::StopThread() {
  SLErrorKeeper keep;
  m_thread.Stop(INFINITE);
}

bool CMyMP3FinderDialog::StartThread() {
  listReady.store(0, std::memory_order_relaxed);
  return m_thread.Start(false);
}

void CMyMP3FinderDialog::ThreadMain() {
  CSLIniFile* settings = App_Services().settings;
  HANDLE stop = m_thread.GetStopEvent();
  auto stopRequested = [stop](u32 ms) { return SLWaitForSingleObject(stop, ms) == WAIT_OBJECT_0; };

  char value[2048];
  u32 size = sizeof value;
  if (!settings->GetStringA(kSection, kCompleteKey, value, &size, "0")) value[0] = 0;
  if (ReadNumber(value) == 1) {
    // The list of the last complete walk.
    m_thread.SetPriority(2);
    for (u32 n = 1; n <= 10000; ++n) {
      char key[32];
      SLSnprintfA(key, sizeof key, "Arch%lu", static_cast<unsigned long>(n));
      CSLStringAnsi path;
      if (!settings->GetStringStrA(kSection, key, path, "") || path.IsEmpty()) break;
      // A path longer than any the walk keeps was not written by it; cut to fit, it would
      // name another file, so it is skipped as the walk skips it.
      if (path.GetLength() <= MP3_FINDER_MAX_PATH) {
        if (char* copy = SLStrDupA(path.CStr(), true)) {
          if (!files.Add(copy)) SLFree(copy);
        }
      }
      if (n % 16 == 15 && stopRequested(10)) return;
    }
    m_thread.SetPriority(0);
  } else {
    // The walk numbers its files from "Arch1"; a longer list left from an earlier walk
    // would otherwise trail after them when the list is read back.
    DeleteStoredPaths(settings);
    HMODULE kernel = SLLoadLibrary(u"kernel32.dll");
    auto driveType =
        kernel ? reinterpret_cast<GetDriveTypeProc>(SLGetProcAddress(kernel, u"GetDriveTypeA")) : nullptr;
    CSLFileFinder finder;
    bool stopped = false;
    for (char letter = 'A'; letter <= 'Z' && !stopped && driveType; ++letter) {
      char root[4] = {letter, ':', '\\', 0};
      if (driveType(root) != kDriveFixed) continue;
      if (!finder.Start(&Mp3FinderDialog_StoreEntry, this, root, "*.MP3", true)) continue;
      while (finder.IsRunning()) {
        if (stopRequested(10)) {
          stopped = true;
          break;
        }
      }
      finder.Stop();
    }
    if (kernel) SLFreeLibrary(kernel);
    if (stopped) return;
    settings->SetStringA(kSection, kCompleteKey, "1", 0);
  }
  // Published to the main thread: `files` is complete from here on.
  listReady.store(1, std::memory_order_release);
}

void Mp3FinderDialog_StoreEntry(const char* path, void* user, u32) {
  auto* dialog = static_cast<CMyMP3FinderDialog*>(user);
  if (!path || !dialog) return;  // a listing that failed: the walk reports, nothing to keep
  if (SLStrLenA(path) > MP3_FINDER_MAX_PATH) return;
  char* copy = SLStrDupA(path, true);
  if (!copy) return;
  char key[32];
  SLSnprintfA(key, sizeof key, "Arch%lu", static_cast<unsigned long>(dialog->FileCount() + 1));
  App_Services().settings->SetStringA(kSection, key, copy, 0);
  if (!dialog->files.Add(copy)) SLFree(copy);
}

void Mp3FinderDialog_FillList(CMyMP3FinderDialog* dialog) {
  AudioRows_Fill(dialog, dialog->FileCount(), &FileNameAt, dialog, dialog->selected);
}

void CMyMP3FinderDialog::ShowList() {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  AudioDialog_Show(this, AUDIO_PLAY_ID, true);
  AudioDialog_Enable(this, AUDIO_PLAY_ID, false);
  AudioDialog_Show(this, AUDIO_STOP_ID, false);
  AudioDialog_Enable(this, AUDIO_STOP_ID, false);
  AudioDialog_Show(this, MP3_RESCAN_ID, true);
  AudioDialog_Show(this, 1, true);
  AudioDialog_Enable(this, 1, false);
  AudioDialog_Show(this, MP3_SEARCH_LABEL_ID, false);
  AudioDialog_Show(this, MP3_WAIT_LABEL_ID, false);
  AudioRows_ResetScrollBar(this, FileCount());
  AudioDialog_Show(this, AUDIO_SCROLL_BAR_ID, true);
  Mp3FinderDialog_FillList(this);
  App_GuiManager().SetFocus(AudioDialog_Child(this, FileCount() ? u32(AUDIO_FIRST_ROW_ID) : 2u));
  SLSetLastError(SL_OK);
}

void CMyMP3FinderDialog::Close(const char* path) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  char copy[MP3_FINDER_MAX_PATH + 1];
  if (path) SLSnprintfA(copy, sizeof copy, "%s", path);
  const Mp3ChosenCallback done = onDone;
  void* user = onDoneUser;
  StopPreview();
  StopThread();
  App_GuiManager().DestroyWindow(this);
  ModalStack_End();
  if (done) done(path ? copy : nullptr, user);
}

bool CMyMP3FinderDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (id >= AUDIO_FIRST_ROW_ID && id < AUDIO_FIRST_ROW_ID + AUDIO_ROW_COUNT) {
    OnCommand(source, AUDIO_STOP_ID);
    selected = AudioRows_Select(this, id);
    return SLSucceed(true);
  }
  switch (id) {
    case AUDIO_PLAY_ID:
      if (selected < FileCount())
        AudioDialog_PlayPreview(this, &preview, files[selected], nullptr, AUDIO_PLAY_ID, AUDIO_STOP_ID);
      return SLSucceed(true);
    case AUDIO_STOP_ID:
      AudioDialog_StopPreview(this, &preview, AUDIO_PLAY_ID, AUDIO_STOP_ID);
      return SLSucceed(true);
    case MP3_RESCAN_ID: {
      selected = AUDIO_NO_SELECTION;
      StopPreview();
      for (u32 i = 0; i < AUDIO_ROW_COUNT; ++i) AudioDialog_Show(this, AUDIO_FIRST_ROW_ID + i, false);
      AudioDialog_Show(this, AUDIO_SCROLL_BAR_ID, false);
      AudioDialog_Show(this, AUDIO_SELECTION_FRAME_ID, false);
      AudioDialog_Show(this, AUDIO_PLAY_ID, false);
      AudioDialog_Show(this, AUDIO_STOP_ID, false);
      AudioDialog_Show(this, MP3_SEARCH_LABEL_ID, true);
      AudioDialog_Show(this, MP3_WAIT_LABEL_ID, true);
      AudioDialog_Show(this, MP3_RESCAN_ID, false);
      AudioDialog_Show(this, 1, false);
      AudioDialog_Enable(this, 1, false);
      // A new walk starts from nothing: an old list kept would be appended to, doubling
      // the rows and the settings file at every rescan.
      StopThread();
      AudioDialog_FreeNames(&files);
      CSLIniFile* settings = App_Services().settings;
      DeleteStoredPaths(settings);
      settings->SetStringA(kSection, kCompleteKey, "0", 0);
      if (!StartThread()) App_Fatal(APP_FATAL_MP3_FINDER_WINDOWS, "Insuficiente memoria");
      return SLSucceed(true);
    }
    case 1:
      if (selected < FileCount()) Close(files[selected]);
      return SLSucceed(true);
    case 2:
      Close(nullptr);
      return SLSucceed(true);
    default:
      return CSL_GS_GuiTopLevelWindow::OnCommand(source, id);
  }
}

void CMyMP3FinderDialog::OnClose() { OnCommand(this, 2); }

void CMyMP3FinderDialog::OnDestroy() {
  StopThread();
  AudioDialog_FreePictures(kImageGroup);
  CSL_GS_GuiTopLevelWindow::OnDestroy();
}

void CMyMP3FinderDialog::OnTimer(u32 id) {
  if (id != 1) return CSL_GS_GuiTopLevelWindow::OnTimer(id);
  if (listReady.exchange(0, std::memory_order_acquire)) {
    // The thread is past its last touch of `files`; let it finish leaving.
    StopThread();
    ShowList();
  }
  AudioRows_Blink(this, FileCount(), selected);
}

bool CMyMP3FinderDialog::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  if (!source || source->GetId() != AUDIO_SCROLL_BAR_ID)
    return CSL_GS_GuiTopLevelWindow::OnVScroll(source, code, newPosition, oldPosition);
  Mp3FinderDialog_FillList(this);
  return SLSucceed(true);
}

CMyMP3FinderDialog* Mp3FinderDialog_Show(Mp3ChosenCallback onDone, void* chooser) {
  ModalStack_Begin(0);
  AudioDialog_LoadPictures(kImageGroup, g_pictures, kSetCount, -2401, -2402);
  CSL_GS_GuiManager& manager = App_GuiManager();
  auto* dialog = static_cast<CMyMP3FinderDialog*>(AudioDialog_Create(CMyMP3FinderDialog::GetClassRecord(),
                                                                     "Elije un archivo MP3", 0, 0, 100, 100,
                                                                     APP_STYLE_DIALOG, MP3_FINDER_ID, nullptr));
  auto made = [](CSL_GS_GuiWindow* window) {
    if (!window) App_Fatal(APP_FATAL_MP3_FINDER_WINDOWS, "Insuficiente memoria");
    return window;
  };
  made(dialog);
  dialog->selected = AUDIO_NO_SELECTION;
  if (!manager.SetTimer(dialog, 1, 250)) App_Fatal(APP_FATAL_MP3_FINDER_WINDOWS, "Insuficiente memoria");
  if (!AudioDialog_AttachPreview(&dialog->preview))
    App_Fatal(APP_FATAL_MP3_FINDER_PLAYER, "No puedo inicializar reproductor de audio");

  made(AudioDialog_Create(CSL_GS_GuiFrame::GetClassRecord(), "", 20, 26, 258, 28, APP_STYLE_CHILD,
                          AUDIO_SELECTION_FRAME_ID, dialog))
      ->Show(false);
  for (u32 i = 0; i < AUDIO_ROW_COUNT; ++i)
    made(AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "", i32(i % 2) * 255 + 5, i32(i / 2) * 25 + 5, 250,
                            20, kHiddenTabButton, AUDIO_FIRST_ROW_ID + i, dialog));
  made(AudioDialog_Create(CSL_GS_GuiVScrollBar::GetClassRecord(), "", 515, 5, 20, 145, APP_STYLE_TAB_CHILD & ~SL_GUI_WS_VISIBLE,
                          AUDIO_SCROLL_BAR_ID, dialog));
  made(AudioDialog_PictureButton(g_pictures[kPlaySet], 20, 155, APP_STYLE_TAB_PICTURE_BUTTON & ~SL_GUI_WS_VISIBLE, AUDIO_PLAY_ID, dialog));
  made(AudioDialog_PictureButton(g_pictures[kStopSet], 20, 155, APP_STYLE_TAB_PICTURE_BUTTON & ~SL_GUI_WS_VISIBLE, AUDIO_STOP_ID, dialog));
  made(AudioDialog_Create(CSL_GS_GuiLabel::GetClassRecord(), "Buscando archivos MP3", 5, 40, 530, 30, APP_STYLE_LABEL,
                          MP3_SEARCH_LABEL_ID, dialog));
  made(AudioDialog_Create(CSL_GS_GuiLabel::GetClassRecord(), "Por favor espere...", 5, 70, 530, 30, APP_STYLE_LABEL,
                          MP3_WAIT_LABEL_ID, dialog));
  made(AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "&Reescanear", 65, 155, 100, 30, kHiddenTabButton,
                          MP3_RESCAN_ID, dialog));
  made(AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "&Aceptar", 355, 155, 80, 30, kHiddenTabButton, 1, dialog));
  CSL_GS_GuiWindow* cancel = made(
      AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 455, 155, 80, 30, APP_STYLE_TAB_BUTTON, 2, dialog));
  manager.SetFocus(cancel);
  dialog->onDone = onDone;
  dialog->onDoneUser = chooser;
  AudioDialog_PlaceOnStage(dialog, 540, 190);
  if (!dialog->StartThread()) App_Fatal(APP_FATAL_MP3_FINDER_WINDOWS, "Insuficiente memoria");
  SLSetLastError(SL_OK);
  return dialog;
}
