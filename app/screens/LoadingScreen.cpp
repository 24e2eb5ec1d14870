#include "app/screens/LoadingScreen.h"


#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/catalog/ObjectCatalog.h"
#include "adventure/catalog/SceneCatalog.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/ModalStack.h"
#include "app/screens/ScreenLoop.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLArray.h"
#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "foundation/SLThread.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "media/SLMoviePlayer.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"

namespace {

constexpr u32 kFlowerFrames = 34;
constexpr i32 kFlowerX = 248, kFlowerY = 306;
// Pictures made while a kind loads carry their own group, so the kind's source pixels can
// be dropped at once when it is done; the rest of the program draws in group 1.
constexpr u32 kFirstKindGroup = 100001, kProgramGroup = 1;
constexpr u32 kShareOfKind = 33;

// The three kinds in loading order: the folder under "Gfx" and the two texts of failure.
struct CatalogKindFolder {
  const char* folder;
  const char* noneFound;
  const char* cannotLoad;
};
constexpr CatalogKindFolder kKindFolders[3] = {
    {"Personajes", "No se han encontrado los personajes del juego", "No puedo cargar el personaje \"%s\""},
    {"Fondos", "No se han encontrado los escenarios del juego", "No puedo cargar el escenario \"%s\""},
    {"Objetos", "No se han encontrado los objetos del juego", "No puedo cargar el objeto \"%s\""},
};

LoaderProgress g_block;

// `file`: what the failure is about below the program's folder ("" for nothing in particular).
void SetLoaderError(LoaderProgress* block, i32 code, const char* text, const char* file = "") {
  SLSnprintfA(block->text, sizeof block->text, "%s", text);
  SLSnprintfA(block->file, sizeof block->file, "%s", file);
  block->errorCode = code;
}

bool LoadOneItem(u32 kind, const char* path, CSLWorkerThread* thread, LoaderProgress* block, u32 start, u32 end) {
  switch (kind) {
    case 0:
      return CharacterCatalog_LoadItem(path, thread, &block->progress, start, end) != nullptr;
    case 1:
      return SceneCatalog_LoadItem(path, thread) != nullptr;
    default:
      return ObjectCatalog_LoadItem(path, thread) != nullptr;
  }
}

// What one run of the thread holds: freed on every way out, the thread's code kept.
struct LoaderResources {
  CSLFileStorage finder;
  TSLPtrArray<char> names;
  ~LoaderResources() {
    SLErrorKeeper keep;
    names.FreeAll();
  }
  void DropNames() {
    SLErrorKeeper keep;
    names.FreeAll();
  }
};

// The pack file names of one kind folder (directories left out); false with -1012 in the
// block when a name cannot be kept.
bool ListPacks(LoaderResources* resources, u32 kind, LoaderProgress* block) {
  char pattern[4096];
  SLSnprintfA(pattern, sizeof pattern, "%s%sGfx\\%s\\*.DAT", App_ProgramDirectory(), "", kKindFolders[kind].folder);
  for (SLStorageFindRecord* found = resources->finder.FindFirstA(pattern); found;
       found = resources->finder.FindNextA()) {
    if (found->flags & SL_FIND_DIRECTORY) continue;
    char* name = SLStrDupA(found->nameA, true);
    if (!name || !resources->names.Add(name)) {
      SLFree(name);
      SetLoaderError(block, -1012, "Insuficiente memoria");
      return false;
    }
  }
  return true;
}

// One kind, item by item; false when the thread is to end (stopped or failed).
bool LoadKind(LoaderResources* resources, u32 kind, CSLWorkerThread* thread, LoaderProgress* block) {
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  if (CatalogLoader_StopRequested(thread)) return false;
  if (!gfx->SetImageGroup(kFirstKindGroup + kind)) {
    SetLoaderError(block, -1011, "No puedo cargar im\xe1genes");
    return false;
  }
  if (!ListPacks(resources, kind, block)) return false;
  char folder[64];
  SLSnprintfA(folder, sizeof folder, "Gfx\\%s", kKindFolders[kind].folder);
  const u32 count = resources->names.GetCount();
  if (count == 0) {
    SetLoaderError(block, -1013, kKindFolders[kind].noneFound, folder);
    return false;
  }
  for (u32 i = 0; i < count; ++i) {
    if (CatalogLoader_StopRequested(thread)) return false;
    const u32 start = kShareOfKind * i / count + kShareOfKind * kind;
    const u32 end = kShareOfKind * (i + 1) / count + kShareOfKind * kind;
    block->progress.store(start, std::memory_order_release);
    char path[4096];
    SLSnprintfA(path, sizeof path, "%s%sGfx\\%s\\%s", App_ProgramDirectory(), "", kKindFolders[kind].folder,
                resources->names[i]);
    if (LoadOneItem(kind, path, thread, block, start, end)) continue;
    // A loader that gave up because of the stop request is no failure.
    if (CatalogLoader_StopRequested(thread)) return false;
    char text[1024];
    SLSnprintfA(text, sizeof text, kKindFolders[kind].cannotLoad, resources->names[i]);
    char pack[1024];
    SLSnprintfA(pack, sizeof pack, "%s\\%s", folder, resources->names[i]);
    SetLoaderError(block, -1014, text, pack);
    return false;
  }
  resources->DropNames();
  // The device keeps what it draws; the pixels were needed only while the items were built.
  gfx->ReleaseImageSourcesOfGroup(kFirstKindGroup + kind);
  return true;
}

// --- The screen ---

struct LoadingPictures {
  SL_GS_Image* flowers[kFlowerFrames];
  SL_GS_Image* background;
  CSLWorkerThread* thread;
};

void LoadingEvent(AppScreen*, const AppEvent& event) {
  if (event.type == APP_EVENT_COMMAND && event.data == APP_CLOSE_BUTTON_ID)
    MainMenu_AskBackToMenu();
  else if (event.type == APP_EVENT_CLOSE_REQUEST)
    ExitPrompt_Show();
}

void LoadingTick(AppScreen* screen) {
  auto* pictures = static_cast<LoadingPictures*>(screen->context);
  if (App_TakeReturnToMenu())
    screen->result = -2;
  else if (!pictures->thread->IsRunning() && ModalStack_GetDepth() == 0)
    screen->result = 1;
}

void LoadingDraw(AppScreen* screen) {
  auto* pictures = static_cast<LoadingPictures*>(screen->context);
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  SL_GS_DrawImageOptions shade{};
  shade.flags = SL_GS_DRAW_OPACITY | SL_GS_DRAW_TINT;
  shade.opacity = 30;
  shade.tintRed = shade.tintGreen = shade.tintBlue = 16;
  gfx->DrawImage(pictures->flowers[kFlowerFrames - 1], kFlowerX, kFlowerY, &shade);

  const u32 tint = LoadingScreen_GlowTint(App_TickCount());
  SL_GS_DrawImageOptions glow{};
  glow.flags = SL_GS_DRAW_TINT;
  glow.tintRed = u8(tint);
  glow.tintGreen = u8(tint >> 8);
  glow.tintBlue = u8(tint >> 16);
  const u32 frame = LoadingScreen_FlowerFrame(g_block.progress.load(std::memory_order_acquire));
  gfx->DrawImage(pictures->flowers[frame], kFlowerX, kFlowerY, &glow);
}

void LoadingClose(AppScreen*) { AppEventQueue_PostEvent(APP_EVENT_CLOSE_REQUEST, 0); }

void DestroyLoadingPictures(LoadingPictures* pictures) {
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  gfx->DestroyImageAndClear(&pictures->background);
  for (SL_GS_Image*& flower : pictures->flowers) gfx->DestroyImageAndClear(&flower);
}

}  // namespace

LoaderProgress& LoaderProgress_Get() { return g_block; }

u32 LoadingScreen_FlowerFrame(u32 progress) {
  const u32 frame = progress * kFlowerFrames / 100;
  return frame < kFlowerFrames ? frame : kFlowerFrames - 1;
}

u32 LoadingScreen_GlowTint(u32 milliseconds) {
  const u32 t = milliseconds / 20 % 1000;
  const u32 v = t < 400 ? 0 : t < 500 ? t - 400 : t < 900 ? 100 : 1000 - t;
  const u32 red = 81 + v * 174 / 100, green = 22 + v * 233 / 100, blue = 237 + v * 18 / 100;
  return 0xFF000000u | blue << 16 | green << 8 | red;
}

u32 Catalog_LoadAll(CSLWorkerThread* thread, std::uintptr_t parameter) {
  auto* block = reinterpret_cast<LoaderProgress*>(parameter);
  LoaderResources resources;
  bool loaded = true;
  for (u32 kind = 0; kind < 3 && loaded; ++kind) loaded = LoadKind(&resources, kind, thread, block);
  // The group goes back to the program's on every way out, a stop or a failure included:
  // left at a kind's group, the pictures made afterwards would lose their pixels with
  // that kind's sources at the next loading.
  const bool restored = App_Services().gfx->SetImageGroup(kProgramGroup);
  if (!restored && block->errorCode == 0) SetLoaderError(block, -1011, "No puedo cargar im\xe1genes");
  return 0;
}

i32 LoadingScreen_Run() {
  AppServices& s = App_Services();
  LoadingPictures pictures{};
  for (u32 i = 0; i < kFlowerFrames; ++i) {
    char name[256];
    SLSnprintfA(name, sizeof name, "Interface/Carga Inicial/Flor/flor%02lu.mximg", static_cast<unsigned long>(i + 1));
    pictures.flowers[i] = App_LoadInterfacePicture(name);
    if (!pictures.flowers[i]) App_Fatal(APP_FATAL_LOADING_PICTURES, "No puedo cargar im\xe1genes");
  }
  pictures.background = App_LoadInterfacePicture("Interface/Carga Inicial/Fondo/fondo.mximg");
  if (!pictures.background) App_Fatal(APP_FATAL_LOADING_PICTURES, "No puedo cargar im\xe1genes");

  char path[4096];
  App_DataPath(path, sizeof path, "Sfx\\Cargando.MXV");
  if (s.moviePlayer->Open(path, nullptr)) s.moviePlayer->Play(1, 1.0, false, false);

  g_block.text[0] = 0;
  g_block.file[0] = 0;
  g_block.errorCode = 0;
  g_block.progress.store(0, std::memory_order_relaxed);
  auto* thread = new CSLWorkerThread(&Catalog_LoadAll, reinterpret_cast<std::uintptr_t>(&g_block));
  if (!thread || !thread->SetPriority(1) || !thread->Start(false))
    App_Fatal(APP_FATAL_LOADING_THREAD, "No puedo inicializar cargador");
  pictures.thread = thread;

  AppScreen screen{"carga", pictures.background, true, &pictures, &LoadingEvent, &LoadingTick, &LoadingDraw,
                   &LoadingClose, 0};
  const i32 result = AppScreen_Run(&screen);

  thread->Stop(INFINITE);
  s.moviePlayer->Stop();
  // Joined: the block's error is the thread's last word.
  if (g_block.errorCode < 0) {
    if (g_block.file[0]) App_NameFileAtFault(g_block.file);
    App_Fatal(g_block.errorCode, g_block.text);
  }

  DestroyLoadingPictures(&pictures);
  if (result < 0) {
    SceneCatalog_Free();
    ObjectCatalog_Free();
    CharacterCatalog_Free();
  }
  delete thread;
  SLSetLastError(SL_OK);
  return result;
}
