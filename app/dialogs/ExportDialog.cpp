#include "app/dialogs/ExportDialog.h"

#include <cstring>

#include "adventure/AdventureDevices.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/FileErrorText.h"
#include "app/dialogs/MsgBox.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiLabel.h"
#include "image/SLImage.h"
#include "platform/gdi32/Gdi32.h"
#include "platform/shell32/Shell32.h"
#include "storage/SLFileStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyExportVideoDialog, CSL_GS_GuiTopLevelWindow)

const WmvWriterSettings kExportWriterSettings = {664, 372, 15, 0, 100.0, 22050, 2, 16, 0};

namespace {

constexpr u32 kDialogStyle = APP_STYLE_DIALOG;
constexpr u32 kLabelStyle = APP_STYLE_LABEL;
constexpr u32 kLabelTextFormat = 4096;
constexpr u32 kButtonStyle = APP_STYLE_TAB_BUTTON;
constexpr u32 kPictureWidth = 664;
constexpr u32 kPictureHeight = 372;
constexpr u32 kFramesPerPicture = 4;
constexpr u32 kStepsPerPicture = 5;
constexpr u32 kMovieRate = 60;
constexpr u32 kMixRate = 22050;
constexpr u32 kMixOverlap = 220;  // each frame's block runs on into the next one's
constexpr HRESULT kNoMemory = E_OUTOFMEMORY;
constexpr HRESULT kFail = E_FAIL;

// The system calls the export reaches by name.
struct ExportApi {
  SLSHGetFolderPathAFn getFolderPath = nullptr;
  int (*getObject)(HGDIOBJ, int, void*) = nullptr;
  BOOL (*deleteObject)(HGDIOBJ) = nullptr;
};
const ExportApi& Api() {
  static const ExportApi api = [] {
    ExportApi bound;
    if (HMODULE shell = SLLoadLibrary(u"shell32.dll")) SLBindProc(shell, u"SHGetFolderPathA", &bound.getFolderPath);
    if (HMODULE gdi = SLLoadLibrary(u"gdi32.dll")) {
      SLBindProc(gdi, u"GetObjectA", &bound.getObject);
      SLBindProc(gdi, u"DeleteObject", &bound.deleteObject);
    }
    return bound;
  }();
  return api;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Repeated separators collapse into one "\", and the folder ends with one.
void NormaliseFolder(const char* folder, char* out, u32 size) {
  u32 n = 0;
  for (const char* p = folder; *p && n + 1 < size; ++p) {
    if (IsSeparator(*p)) {
      if (n > 0 && out[n - 1] == '\\') continue;
      out[n++] = '\\';
    } else {
      out[n++] = *p;
    }
  }
  if (n + 1 < size && (n == 0 || out[n - 1] != '\\')) out[n++] = '\\';
  out[n] = 0;
}

void SetLabel(CMyExportVideoDialog* dialog, const char* text) {
  if (CSL_GS_GuiWindow* label = dialog->GetManager()->FindChildById(dialog, EXPORT_LABEL_ID)) label->SetText(text);
}

void ShowError(CMyExportVideoDialog* dialog, const char* format, HRESULT code) {
  char text[kExportErrorTextSize];
  VideoExport_ErrorText(dialog->outputPath, format, code, text, sizeof text);
  MsgBox_ShowWithCallback(0, 1, &AppDialog_DeferredCancelCommand, reinterpret_cast<std::uintptr_t>(dialog), text,
                          "Error al exportar", EXPORT_ERROR_BOX_ID, AppCommonPictures[APP_PICTURE_ERROR], nullptr);
}

// One second of sound from `first` on: every movie frame of it mixed into its slice of
// the buffer, then written. Frames past the movie's end are not mixed; a second with no
// frame left (the last step of a movie whose length is a multiple of 60) writes nothing.
HRESULT WriteSecondOfSound(CMyExportVideoDialog* dialog, Movie* movie, u32 first) {
  constexpr u32 kBufferFrames = kMixRate + kMixOverlap;
  TSLAutoPtr<i16> buffer(static_cast<i16*>(SLAllocZero(kBufferFrames * 2 * sizeof(i16))));
  if (!buffer) return kNoMemory;
  u32 mixedEnd = 0;
  for (u32 k = 0; k < kMovieRate && first + k < dialog->totalFrames; ++k) {
    i32 sceneIndex = 0;
    u32 localFrame = 0;
    Movie_FindSceneForFrame(movie, first + k, &sceneIndex, &localFrame);
    Scene* scene = Movie_SceneAt(movie, u32(sceneIndex));
    const u32 start = k * kMixRate / kMovieRate;
    const u32 end = (k + 1) * kMixRate / kMovieRate;
    if (!scene || !Scene_MixAudioForFrame(&dialog->mixer, scene, localFrame, buffer.Get() + start * 2,
                                          end - start + kMixOverlap))
      return kNoMemory;
    mixedEnd = end;
  }
  if (mixedEnd == 0) return 0;
  return WmvWriter_WriteAudioSamples(&dialog->writer, buffer.Get(), mixedEnd);
}

// The stage as it is on the back buffer now, as a bottom-up 24-bit picture for the writer.
HRESULT WriteBackBufferPicture(CMyExportVideoDialog* dialog, CSL_GS_BaseGfx* gfx) {
  SL_GS_SurfaceAccess* access = gfx->LockBackBuffer(false);
  if (!access) return kFail;
  CSLImage image;
  if (access->width < kPictureWidth || access->height < kPictureHeight ||
      !image.Create(access->format, kPictureWidth, kPictureHeight, false)) {
    gfx->UnlockBackBuffer();
    return kNoMemory;
  }
  const u32 rowBytes = kPictureWidth * image.GetBytesPerPixel();
  for (u32 y = 0; y < kPictureHeight; ++y)
    std::memcpy(image.GetPixelAddress(0, y), access->pixels + std::size_t(y) * access->pitch, rowBytes);
  gfx->UnlockBackBuffer();

  const ExportApi& api = Api();
  HBITMAP bitmap = image.CreateDIBSection(24);
  if (!bitmap) return kNoMemory;
  BITMAP info{};
  const bool read = api.getObject && api.getObject(bitmap, sizeof info, &info) != 0;
  const HRESULT result = read && info.bmBits ? WmvWriter_WriteVideoFrame(&dialog->writer, info.bmBits) : kFail;
  if (api.deleteObject) api.deleteObject(bitmap);
  return result;
}

}  // namespace

CMyExportVideoDialog::CMyExportVideoDialog() { WmvWriter_Init(&writer); }

CMyExportVideoDialog::~CMyExportVideoDialog() {
  const u32 code = SLGetLastError();
  WmvWriter_Reset(&writer);
  SLSetLastError(code);
}

bool CMyExportVideoDialog::OnCommand(CSL_GS_GuiWindow*, u32 id) {
  if (id != EXPORT_CANCEL_ID) return SLSucceed(false);
  const u32 type = eventType;
  AppEvent pending;
  while (AppEventQueue_TakeOfType(type, &pending)) {
  }
  AppEventQueue_PostEvent(type, 0);
  WmvWriter_Reset(&writer);
  GetManager()->DestroyWindow(this);
  // `this` may be gone from here on.
  ModalStack_End();
  return SLSucceed(true);
}

void CMyExportVideoDialog::OnClose() { OnCommand(this, EXPORT_CANCEL_ID); }

void AppDialog_DeferredCancelCommand(u32, std::uintptr_t dialog) {
  if (auto* window = reinterpret_cast<CSL_GS_GuiWindow*>(dialog)) window->OnCommand(window, 2);
}

void VideoExport_SuccessText(const char* outputPath, char* text, u32 size) {
  u32 n = SLSnprintfA(text, size, "%s\r", "Pel\xed" "cula exportada satisfactoriamente. Buscala en:");
  for (const char* p = outputPath; *p && n + 4 < size; ++p) {
    if (IsSeparator(*p)) {
      text[n++] = ' ';
      text[n++] = '/';
      text[n++] = ' ';
    } else {
      text[n++] = *p;
    }
  }
  if (n < size) text[n] = 0;
}

void VideoExport_ErrorText(const char* outputPath, const char* format, HRESULT code, char* text, u32 size) {
  if (size == 0) return;
  // The line with the code comes first, in its own 256 bytes; the code alone tells a
  // family nothing, so the causes it can mend are said in words below it.
  SLSnprintfA(text, size < 256 ? size : 256, format, u32(code));
  if (code == WM_E_SHARING_VIOLATION) {
    const u32 used = u32(std::strlen(text));
    SLSnprintfA(text + used, size - used, "\n\n%s",
                "Otra copia del programa est\xe1 exportando un video con este nombre. Esper\xe1 a que termine o "
                "guard\xe1 la pel\xed" "cula con otro nombre.");
  } else if (code == WM_E_DISK_FULL || code == WM_E_ACCESS_DENIED) {
    App_AppendFileErrorCause(text, size, u32(code) & 0xFFFF, "videos", outputPath);
  }
}

void VideoExport_Start(CMyExportVideoDialog* d, u32 eventType) {
  Movie* movie = Movie_Get();
  d->eventType = eventType;
  d->tickCount = 0;
  d->totalFrames = 0;
  d->currentFrame = 0;
  for (u32 i = 0; i < Movie_SceneCount(movie); ++i) d->totalFrames += Movie_SceneAt(movie, i)->length;

  // The user's videos, else their documents, else the shared folders, else a folder
  // beside the program.
  char folder[4100] = {};
  bool found = false;
  if (const ExportApi& api = Api(); api.getFolderPath) {
    for (int csidl : {CSIDL_MYVIDEO, CSIDL_PERSONAL, CSIDL_COMMON_VIDEO, CSIDL_COMMON_DOCUMENTS}) {
      if (api.getFolderPath(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, folder) >= 0) {
        found = true;
        break;
      }
    }
  }
  CSLFileStorage files;
  if (!found) {
    SLSnprintfA(folder, sizeof folder, "%s%sVideos Exportados", App_ProgramDirectory(), "");
    files.CreateDirectoryA(folder);  // an existing folder is fine
  }
  NormaliseFolder(folder, d->outputPath, sizeof d->outputPath);
  const u32 used = u32(std::strlen(d->outputPath));
  SLSnprintfA(d->outputPath + used, sizeof d->outputPath - used, "%s.WMV", movie->name ? movie->name : "");

  // An earlier video of this name stays until the new one is whole (the writer's finish).
  const HRESULT opened = WmvWriter_Open(&d->writer, d->outputPath, &kExportWriterSettings);
  if (opened < 0) {
    d->failed = 1;
    ShowError(d, "Error: No puedo inicializar compresor de video y audio. (%08X)", opened);
  }
  SLSetLastError(u32(opened));
}

CMyExportVideoDialog* ExportVideoDialog_Show(u32 eventType) {
  Movie* movie = Movie_Get();
  if (Movie_SceneCount(movie) == 0 || !movie->name || !movie->name[0])
    return SLFail(SL_E_INVALID_ARG, (CMyExportVideoDialog*)nullptr);
  ModalStack_Begin(0);
  CMyGuiManager& manager = App_GuiManager();
  auto* dialog = static_cast<CMyExportVideoDialog*>(
      manager.CreateWindow(CMyExportVideoDialog::GetClassRecord(), "Exportando pel\xed" "cula...", 0, 0, 100, 100,
                           kDialogStyle, AppSkin, EXPORT_DIALOG_ID, nullptr));
  if (!dialog) App_Fatal(APP_FATAL_EXPORT_WINDOWS, "Insuficiente memoria");
  CSL_GS_GuiWindow* label = manager.CreateWindow(CSL_GS_GuiLabel::GetClassRecord(), "Inicializando...", 20, 10, 420,
                                                 50, kLabelStyle, AppSkin, EXPORT_LABEL_ID, dialog);
  CSL_GS_GuiWindow* cancel = manager.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 360, 70, 80, 30,
                                                  kButtonStyle, AppSkin, EXPORT_CANCEL_ID, dialog);
  if (!label || !cancel || !label->SetTextFormat(kLabelTextFormat) || !dialog->SetClientSize(460, 110) ||
      !dialog->CenterOnWindow(nullptr))
    App_Fatal(APP_FATAL_EXPORT_WINDOWS, "Insuficiente memoria");
  VideoExport_Start(dialog, eventType);
  SLSetLastError(SL_OK);
  return dialog;
}

HRESULT VideoExport_RenderFrame(CMyExportVideoDialog* d) {
  Movie* movie = Movie_Get();
  i32 sceneIndex = 0;
  u32 localFrame = 0;
  Movie_FindSceneForFrame(movie, d->currentFrame, &sceneIndex, &localFrame);
  if (sceneIndex < 0) return kFail;
  if (u32(sceneIndex) != movie->currentScene) {
    if (Scene* current = Movie_SceneAt(movie, movie->currentScene))
      Scene_RenderAtFrame(current, current->length, kModeEvaluate);
    Movie_SelectScene(movie, u32(sceneIndex));
  }
  Scene* scene = Movie_SceneAt(movie, u32(sceneIndex));
  if (!scene) return kFail;
  Scene_RenderAtFrame(scene, localFrame, kModeEvaluate);

  if (d->currentFrame % kMovieRate == 0) {
    const HRESULT sound = WriteSecondOfSound(d, movie, d->currentFrame);
    if (sound < 0) return sound;
  }

  // The stage is drawn over the whole back buffer (the clip set by whoever drew last is
  // put back afterwards); the next screen frame draws over it again.
  CSL_GS_BaseGfx* gfx = AdventureDevices_Get().gfx;
  if (!gfx) return kFail;
  u32 clipX = 0, clipY = 0, clipW = 0, clipH = 0;
  const bool hadClip = gfx->GetClipRect(&clipX, &clipY, &clipW, &clipH);
  gfx->SetClipRect(0, 0, gfx->GetWidth(), gfx->GetHeight());
  Stage_Draw(movie, 0, 0);
  if (hadClip) gfx->SetClipRect(clipX, clipY, clipW, clipH);
  return WriteBackBufferPicture(d, gfx);
}

void VideoExport_Step(CMyExportVideoDialog* d) {
  if (d->failed || d->finished) return;
  if (++d->tickCount < kStepsPerPicture) return;
  d->tickCount = 0;

  char text[4200];
  const double percent = d->totalFrames ? double(d->currentFrame + 1) / double(d->totalFrames) * 100.0 : 0.0;
  SLSnprintfA(text, sizeof text, "Exportando... %.2f%%", percent);
  SetLabel(d, text);

  const HRESULT rendered = VideoExport_RenderFrame(d);
  if (rendered < 0) {
    d->failed = 1;
    WmvWriter_Reset(&d->writer);
    ShowError(d, "Error: No puedo completar la exportaci\xf3n del video. (%08X)", rendered);
    return;
  }
  // The frame just rendered decides: before the end, the next one is four frames on
  // (never past the end unless the movie is shorter than four frames); the end itself
  // finishes the file.
  if (d->currentFrame < d->totalFrames) {
    if (d->totalFrames < kFramesPerPicture || d->currentFrame < d->totalFrames - kFramesPerPicture)
      d->currentFrame += kFramesPerPicture;
    else
      d->currentFrame = d->totalFrames;
  } else {
    // The video takes its name only now, when it was closed whole.
    const HRESULT closed = WmvWriter_Finish(&d->writer);
    if (closed < 0) {
      d->failed = 1;
      ShowError(d, "Error: No puedo completar la exportaci\xf3n del video. (%08X)", closed);
      return;
    }
    d->finished = 1;
    VideoExport_SuccessText(d->outputPath, text, sizeof text);
    SetLabel(d, text);
    if (CSL_GS_GuiWindow* button = d->GetManager()->FindChildById(d, EXPORT_CANCEL_ID)) button->SetText("&Cerrar");
  }
  SLSetLastError(SL_OK);
}

bool ExportVideoDialog_HandleEvent(u32 type, std::uintptr_t data) {
  if (data == 0) return SLSucceed(true);
  // The event names its dialog by address: one that is gone (or any other value) is
  // dropped without a step and without being posted again.
  auto* window = reinterpret_cast<CSL_GS_GuiWindow*>(data);
  if (!App_GuiManager().IsRegistered(window) || !window->IsKindOf(CMyExportVideoDialog::GetClassRecord()))
    return SLFail(SL_E_INVALID_ARG, false);
  VideoExport_Step(static_cast<CMyExportVideoDialog*>(window));
  AppEventQueue_PostEvent(type, data);
  return SLSucceed(false);
}
