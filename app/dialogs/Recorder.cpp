#include "app/dialogs/Recorder.h"

#include <cstring>

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/dialogs/AudioChooserKit.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/FileErrorText.h"
#include "app/dialogs/MsgBox.h"
#include "app/dialogs/RecorderNameEdit.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLByteOrder.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLTextConvert.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiLabel.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "storage/SLFileFinder.h"
#include "storage/SLFileReplacement.h"
#include "storage/SLFileStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyMicRecorderDialog, CSL_GS_GuiTopLevelWindow)

namespace {

constexpr u32 kImageGroup = 1029;
// The stop buttons wait hidden under record and play.
constexpr u32 kHiddenPictureButton = APP_STYLE_TAB_PICTURE_BUTTON & ~SL_GUI_WS_VISIBLE;
constexpr u32 kHeaderBytes = 44;
constexpr char kTitle[] = "Grabaci\xf3n";
constexpr char kCannotKeep[] =
    "No puedo crear el archivo de audio.\n\nTen\xe9 en cuenta que si est\xe1s usando grabaci\xf3n con el mismo "
    "nombre en tu pel\xed" "cula, si o si deber\xe1s nombrarlo de otra manera.";

enum { kPlaySet, kRecordSet, kStopSet, kSetCount };
AudioPictureSet g_pictures[kSetCount] = {
    {"Interface/Selecciona Audio/Reproducci\xf3n/play_%s.mximg", 4, {}},
    {"Interface/Selecciona Audio/Reproducci\xf3n/rec_%s.mximg", 4, {}},
    {"Interface/Selecciona Audio/Reproducci\xf3n/stop_%s.mximg", 4, {}},
};

// What is asked of the capture device: 16-bit mono PCM at 22,050 Hz.
constexpr SLAudioFormat kCaptureFormat = {1, 1, 16, 22050, 44100, 2};

// The header with both sizes 0: "RIFF", size − 8, "WAVE", the 16-byte "fmt " chunk of
// the capture format, "data", size − 44.
void BuildHeader(u8* header) {
  std::memcpy(header, "RIFF", 4);
  std::memcpy(header + 8, "WAVEfmt ", 8);
  std::memcpy(header + 36, "data", 4);
  SLStoreLE32(header + 4, 0);
  SLStoreLE32(header + 16, 16);
  SLStoreLE16(header + 20, u16(kCaptureFormat.formatTag));
  SLStoreLE16(header + 22, u16(kCaptureFormat.channels));
  SLStoreLE32(header + 24, kCaptureFormat.samplesPerSecond);
  SLStoreLE32(header + 28, kCaptureFormat.bytesPerSecond);
  SLStoreLE16(header + 32, u16(kCaptureFormat.blockAlign));
  SLStoreLE16(header + 34, u16(kCaptureFormat.bitsPerSample));
  SLStoreLE32(header + 40, 0);
}

void FinalPath(char* buffer, u32 size, const char* name) {
  SLSnprintfA(buffer, size, "%s%sSfx\\Grabadas\\%s.WAV", App_ProgramDirectory(), "", name);
}

CMyMicRecorderDialog* Live(std::uintptr_t argument) {
  auto* dialog = reinterpret_cast<CMyMicRecorderDialog*>(argument);
  return dialog && App_GuiManager().IsRegistered(dialog) && dialog->IsKindOf(CMyMicRecorderDialog::GetClassRecord())
             ? dialog
             : nullptr;
}

void FocusName(u32, std::uintptr_t argument) {
  if (CMyMicRecorderDialog* dialog = Live(argument))
    App_GuiManager().SetFocus(AudioDialog_Child(dialog, RECORDER_NAME_ID));
}

void TemporaryPath(char* buffer, u32 size, u32 n) {
  if (n == 1)
    SLSnprintfA(buffer, size, "%s%sSfx\\Grabadas\\Grabaci\xf3n.TMP", App_ProgramDirectory(), "");
  else
    SLSnprintfA(buffer, size, "%s%sSfx\\Grabadas\\Grabaci\xf3n.%u.TMP", App_ProgramDirectory(), "", n);
}

}  // namespace

CMyMicRecorderDialog::CMyMicRecorderDialog() = default;

CMyMicRecorderDialog::~CMyMicRecorderDialog() {
  SLErrorKeeper keep;
  DestroyCapture();
  DropTemporary();
}

// The first name no live recorder holds: "Grabación.TMP", then "Grabación.2.TMP" and on.
bool CMyMicRecorderDialog::ClaimTemporary() {
  const bool claimed = SLClaimFirstFreeName(&file, [&](u32 n) -> const char* {
    temporaryNumber = n;
    TemporaryPath(temporary, sizeof temporary, n);
    return temporary;
  });
  if (!claimed) temporary[0] = '\0';
  return claimed;
}

// Whether the held temporary is still under its name. The family's folder may have been
// renamed or moved since the claim, with the program's folder: the name is then looked
// for where the folder is now, and followed there.
bool CMyMicRecorderDialog::FindTemporary() {
  if (!*temporary) return false;
  if (file.IsNamedA(temporary)) return true;
  char now[sizeof temporary];
  TemporaryPath(now, sizeof now, temporaryNumber);
  if (std::strcmp(now, temporary) == 0 || !file.IsNamedA(now)) return false;
  std::memcpy(temporary, now, sizeof now);
  return true;
}

// Removed while still held, and only while its name still reaches it: once released, or
// once another file took the name, removing by name could take another recorder's.
void CMyMicRecorderDialog::DropTemporary() {
  SLErrorKeeper keep;
  if (FindTemporary()) file.DeleteA(temporary);
  file.Close();
  temporary[0] = '\0';
}

bool CMyMicRecorderDialog::HoldsRecording() { return recorded && FindTemporary(); }

void CMyMicRecorderDialog::ShowResult() {
  AudioDialog_Child(this, RECORDER_STATUS_ID)
      ->SetText(recorded ? "Audio grabado en forma satisfactoria" : "Error al grabar audio");
  AudioDialog_Enable(this, RECORDER_PLAY_ID, recorded != 0);
  AudioDialog_Enable(this, 1, recorded != 0);
}

// The temporary was removed or replaced behind the dialog's back (by hand, by another
// program): the recording is gone, and what now has its name is not the dialog's.
void CMyMicRecorderDialog::LoseRecording() {
  file.Close();
  temporary[0] = '\0';
  recorded = 0;
  ShowResult();
}

void CMyMicRecorderDialog::DestroyCapture() {
  writing.store(0, std::memory_order_relaxed);
  if (!capture) return;
  SLErrorKeeper keep;
  // Waits for the capture worker: no callback runs after this.
  App_Services().sfx->DestroySound(capture);
  capture = nullptr;
}

bool CMyMicRecorderDialog::IsRecording() {
  CSL_GS_GuiWindow* record = AudioDialog_Child(this, RECORDER_RECORD_ID);
  CSL_GS_GuiWindow* stop = AudioDialog_Child(this, RECORDER_STOP_RECORDING_ID);
  return record && stop && !(record->GetStyle() & SL_GUI_WS_VISIBLE) && (stop->GetStyle() & SL_GUI_WS_VISIBLE);
}

void CMyMicRecorderDialog::ShowError(const char* text, bool focusName) {
  MsgBox_ShowWithCallback(0, 1, focusName ? &FocusName : nullptr, reinterpret_cast<std::uintptr_t>(this), text,
                          kTitle, RECORDER_BOX_ID, AppCommonPictures[APP_PICTURE_ERROR], nullptr);
}

void CMyMicRecorderDialog::StartRecording(CSL_GS_GuiWindow* source) {
  OnCommand(source, RECORDER_STOP_RECORDING_ID);
  OnCommand(source, RECORDER_STOP_PLAYING_ID);
  preview.Close();
  DropTemporary();  // a new recording replaces the one before it
  CSL_GS_BaseSfx* sfx = App_Services().sfx;
  u32 systemError = ERROR_SUCCESS;  // of the file's claim or the header's write
  bool ok = (capture = sfx->CreateCaptureSound(&kCaptureFormat)) != nullptr;
  // No capture device, or one that cannot be opened: the child is told what is missing.
  bool noMicrophone = !ok;
  recorded = 0;
  AudioDialog_Enable(this, RECORDER_PLAY_ID, false);
  if (ok && !(ok = ClaimTemporary())) systemError = SLGetSystemLastError();
  if (ok) {
    u8 header[kHeaderBytes];
    BuildHeader(header);
    if (!(ok = file.Write(header, kHeaderBytes) == kHeaderBytes)) systemError = SLGetSystemLastError();
  }
  if (ok) {
    dataBytes.store(0, std::memory_order_relaxed);
    writeFailed.store(0, std::memory_order_relaxed);
    writeError.store(0, std::memory_order_relaxed);
    dataFull.store(0, std::memory_order_relaxed);
    writing.store(1, std::memory_order_release);
    ok = sfx->StartCapture(capture, &MicRecorderDialog_OnCaptureData, reinterpret_cast<std::uintptr_t>(this));
    noMicrophone = !ok && SLGetLastError() == SL_E_SFX_CAPTURE_START;
  }
  if (ok) {
    AudioDialog_Child(this, RECORDER_STATUS_ID)->SetText("Grabando...");
    AudioDialog_Show(this, RECORDER_RECORD_ID, false);
    AudioDialog_Show(this, RECORDER_STOP_RECORDING_ID, true);
    AudioDialog_Enable(this, RECORDER_PLAY_ID, false);
    AudioDialog_Enable(this, 1, false);
    SLSetLastError(SL_OK);
    return;
  }
  DestroyCapture();
  DropTemporary();
  if (noMicrophone) {
    ShowError("No se encontr\xf3 un micr\xf3" "fono", false);
    return;
  }
  // Under the box's own line, the cause a family can mend: a full disk, a recordings
  // folder it may not write in, or one that is gone.
  char text[4400], folder[4096];
  SLSnprintfA(folder, sizeof folder, "%s%sSfx\\Grabadas\\", App_ProgramDirectory(), "");
  SLSnprintfA(text, sizeof text, "%s", "No puedo comenzar la grabaci\xf3n");
  App_AppendFileErrorCause(text, sizeof text, systemError, "grabaciones", folder);
  ShowError(text, false);
}

void MicRecorderDialog_OnCaptureData(SL_GS_SoundRecord*, std::uintptr_t user, const void* data, u32 count) {
  auto* dialog = reinterpret_cast<CMyMicRecorderDialog*>(user);
  if (!dialog->writing.load(std::memory_order_acquire)) return;
  u64 bytes = u64(count) * 2;
  const u64 before = dialog->dataBytes.load(std::memory_order_relaxed);
  bool full = false;
  if (before + bytes > dialog->dataLimit) {
    bytes = (dialog->dataLimit - before) & ~u64(1);
    full = true;
  }
  if (bytes && dialog->file.Write(data, bytes) != bytes) {
    dialog->writing.store(0, std::memory_order_relaxed);
    dialog->writeError.store(SLGetSystemLastError(), std::memory_order_relaxed);
    dialog->writeFailed.store(1, std::memory_order_release);
    return;
  }
  dialog->dataBytes.store(before + bytes, std::memory_order_relaxed);
  if (full) {
    dialog->writing.store(0, std::memory_order_relaxed);
    dialog->dataFull.store(1, std::memory_order_release);
  }
}

void CMyMicRecorderDialog::StopRecording(CSL_GS_GuiWindow* source) {
  if (!IsRecording()) return;
  DestroyCapture();
  // The sizes are fixed through the handle that stays held: the file is not let go
  // between the recording and its keeping.
  if (source != MicRecorder_InternalSource()) {
    u64 size = 0;
    if (file.GetSize(&size) && size >= kHeaderBytes && size - 8 <= 0xFFFFFFFFull) {
      u8 field[4];
      SLStoreLE32(field, u32(size - 8));
      bool ok = file.Seek(4, SL_SEEK_BEGIN) && file.Write(field, 4) == 4;
      SLStoreLE32(field, u32(size - kHeaderBytes));
      ok = ok && file.Seek(40, SL_SEEK_BEGIN) && file.Write(field, 4) == 4;
      if (ok && FindTemporary()) recorded = 1;
    }
  }
  if (!recorded) DropTemporary();
  ShowResult();
  AudioDialog_Show(this, RECORDER_RECORD_ID, true);
  AudioDialog_Show(this, RECORDER_STOP_RECORDING_ID, false);
  SLSetLastError(SL_OK);
}

void CMyMicRecorderDialog::StopPlaying() {
  AudioDialog_StopPreview(this, &preview, RECORDER_PLAY_ID, RECORDER_STOP_PLAYING_ID);
  {
    SLErrorKeeper keep;
    preview.Close();
  }
  AudioDialog_Enable(this, RECORDER_RECORD_ID, true);
}

void CMyMicRecorderDialog::Accept(CSL_GS_GuiWindow* source) {
  const bool internal = source == MicRecorder_InternalSource();
  if (!internal) {
    OnCommand(source, RECORDER_STOP_RECORDING_ID);
    OnCommand(source, RECORDER_STOP_PLAYING_ID);
  }
  if (!recorded) return;
  if (!HoldsRecording()) {
    LoseRecording();
    ShowError(kCannotKeep, true);
    return;
  }
  CSL_GS_GuiWindow* edit = AudioDialog_Child(this, RECORDER_NAME_ID);
  const char* name = edit ? edit->GetText() : nullptr;
  if (!name || !*name) {
    ShowError("Debes ingresar el nombre del archivo de audio", true);
    return;
  }
  char final[4096];
  FinalPath(final, sizeof final, name);
  if (!internal && SLFileExists(final)) {
    MsgBox_ShowWithCallback(0, 3, &MicRecorderDialog_OnOverwriteAnswer, reinterpret_cast<std::uintptr_t>(this),
                            "Ya existe un archivo con ese nombre.\n\n\xbf" "Desea sobreescribirlo?", kTitle,
                            RECORDER_BOX_ID, AppCommonPictures[APP_PICTURE_QUESTION], nullptr);
    return;
  }
  // The old recording is never gone before the new one has its name, and the temporary
  // is renamed while still held: no other recorder can claim its name in between.
  if (!SLReplaceFileA(temporary, final)) {
    if (!HoldsRecording()) LoseRecording();
    ShowError(kCannotKeep, true);
    return;
  }
  file.Close();
  temporary[0] = '\0';
  Close(final);
}

void CMyMicRecorderDialog::Close(const char* path) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  char copy[4096];
  if (path) SLSnprintfA(copy, sizeof copy, "%s", path);
  const RecordingSavedCallback done = onDone;
  void* user = onDoneUser;
  App_GuiManager().DestroyWindow(this);
  ModalStack_End();
  if (done) done(path ? copy : nullptr, user);
}

bool CMyMicRecorderDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  TSLObjPtr<CSL_GS_GuiWindow> hold(this);
  switch (id) {
    case RECORDER_RECORD_ID:
      StartRecording(source);
      return SLSucceed(true);
    case RECORDER_STOP_RECORDING_ID:
      StopRecording(source);
      return SLSucceed(true);
    case RECORDER_PLAY_ID: {
      OnCommand(source, RECORDER_STOP_PLAYING_ID);
      if (!recorded) return SLSucceed(true);
      if (!HoldsRecording()) {
        LoseRecording();
        return SLSucceed(true);
      }
      if (AudioDialog_PlayPreview(this, &preview, temporary, CSLVideoAudioReaderWAV::GetClassRecord(), RECORDER_PLAY_ID,
                                  RECORDER_STOP_PLAYING_ID))
        AudioDialog_Enable(this, RECORDER_RECORD_ID, false);
      return SLSucceed(true);
    }
    case RECORDER_STOP_PLAYING_ID:
      StopPlaying();
      return SLSucceed(true);
    case 1:
      Accept(source);
      return SLSucceed(true);
    case 2:
      OnCommand(source, RECORDER_STOP_RECORDING_ID);
      OnCommand(source, RECORDER_STOP_PLAYING_ID);
      Close(nullptr);
      return SLSucceed(true);
    default:
      if (source == MicRecorder_InternalSource()) return SLFail(SL_E_INVALID_ARG, false);
      return CSL_GS_GuiTopLevelWindow::OnCommand(source, id);
  }
}

void CMyMicRecorderDialog::OnClose() { OnCommand(this, 2); }

void CMyMicRecorderDialog::OnDestroy() {
  SLErrorKeeper keep;
  preview.Close();
  DestroyCapture();
  DropTemporary();
  AudioDialog_FreePictures(kImageGroup);
  CSL_GS_GuiTopLevelWindow::OnDestroy();
}

void CMyMicRecorderDialog::OnTimer(u32 id) {
  if (id != 1) return CSL_GS_GuiTopLevelWindow::OnTimer(id);
  if (!IsRecording()) return;
  if (writeFailed.load(std::memory_order_acquire)) {
    OnCommand(MicRecorder_InternalSource(), RECORDER_STOP_RECORDING_ID);
    // The status line says the recording failed; a box says why when the family can mend
    // it: the disk, a quota or a file-size limit had no room.
    if (writeError.load(std::memory_order_relaxed) == ERROR_DISK_FULL)
      ShowError("Error al grabar audio\n\nNo hay espacio suficiente en el disco.", false);
  } else if (dataFull.load(std::memory_order_acquire))
    OnCommand(this, RECORDER_STOP_RECORDING_ID);
}

void MicRecorderDialog_OnOverwriteAnswer(u32 answer, std::uintptr_t argument) {
  if (answer != 3) return;
  if (CMyMicRecorderDialog* dialog = Live(argument)) dialog->OnCommand(MicRecorder_InternalSource(), 1);
}

CMyMicRecorderDialog* MicRecorderDialog_Show(RecordingSavedCallback onDone, void* chooser) {
  ModalStack_Begin(0);
  AudioDialog_LoadPictures(kImageGroup, g_pictures, kSetCount, -2301, -2302);
  CSL_GS_GuiManager& manager = App_GuiManager();
  auto* dialog = static_cast<CMyMicRecorderDialog*>(AudioDialog_Create(
      CMyMicRecorderDialog::GetClassRecord(), "Grabadora de voces", 0, 0, 100, 100, APP_STYLE_DIALOG, RECORDER_ID, nullptr));
  if (!dialog || !manager.SetTimer(dialog, 1, 250)) App_Fatal(APP_FATAL_RECORDER_WINDOWS, "Insuficiente memoria");
  if (!AudioDialog_AttachPreview(&dialog->preview))
    App_Fatal(APP_FATAL_RECORDER_PLAYER, "No puedo inicializar reproductor de audio");

  CSL_GS_GuiWindow* label = AudioDialog_Create(CSL_GS_GuiLabel::GetClassRecord(), "Nombre:", 10, 5, 70, 20,
                                               APP_STYLE_LABEL, RECORDER_NAME_LABEL_ID, dialog);
  CSL_GS_GuiWindow* name = label ? AudioDialog_Create(CMyMicRecorder_NameEditCtl::GetClassRecord(), "", 85, 5, 285, 20,
                                                      APP_STYLE_TAB_CHILD, RECORDER_NAME_ID, dialog)
                                 : nullptr;
  CSL_GS_GuiWindow* status = name ? AudioDialog_Create(CSL_GS_GuiLabel::GetClassRecord(), "No se ha grabado nada a\xfan",
                                                       10, 30, 355, 20, APP_STYLE_LABEL, RECORDER_STATUS_ID, dialog)
                                  : nullptr;
  if (!status || !label->SetTextFormat(1) || !MicRecorderNameEdit_SetMaxLength(name, 30))
    App_Fatal(APP_FATAL_RECORDER_CONTROLS, "No puedo cargar im\xe1genes");
  manager.SetFocus(name);
  const struct {
    u32 set;
    i32 x;
    u32 style;
    u32 id;
  } kButtons[4] = {
      {kRecordSet, 20, APP_STYLE_TAB_PICTURE_BUTTON, RECORDER_RECORD_ID},
      {kStopSet, 20, kHiddenPictureButton, RECORDER_STOP_RECORDING_ID},
      {kPlaySet, 60, APP_STYLE_TAB_PICTURE_BUTTON | SL_GUI_WS_DISABLED, RECORDER_PLAY_ID},
      {kStopSet, 60, kHiddenPictureButton, RECORDER_STOP_PLAYING_ID},
  };
  for (const auto& b : kButtons)
    if (!AudioDialog_PictureButton(g_pictures[b.set], b.x, 60, b.style, b.id, dialog))
      App_Fatal(APP_FATAL_RECORDER_WINDOWS, "Insuficiente memoria");
  if (!AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "&Aceptar", 190, 60, 80, 30, APP_STYLE_TAB_BUTTON | SL_GUI_WS_DISABLED, 1, dialog) ||
      !AudioDialog_Create(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 290, 60, 80, 30, APP_STYLE_TAB_BUTTON, 2, dialog))
    App_Fatal(APP_FATAL_RECORDER_WINDOWS, "Insuficiente memoria");
  dialog->onDone = onDone;
  dialog->onDoneUser = chooser;
  AudioDialog_PlaceOnStage(dialog, 375, 95);
  SLSetLastError(SL_OK);
  return dialog;
}
