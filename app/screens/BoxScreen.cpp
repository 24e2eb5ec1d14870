#include "app/screens/BoxScreen.h"

#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/screens/BoxVideoListRow.h"
#include "app/screens/ScreenLoop.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLStr.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiSlider.h"
#include "media/SLMoviePlayer.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"

namespace {

constexpr const char* kBoxFolder = "Interface/Construcci\xf3n/Cajas/";
constexpr const char* kBoxPattern = "Interface/Construcci\xf3n/Cajas/Caja?????_normal.mximg";
constexpr i32 kBoxButtonX = 12, kBoxButtonY = 101, kBoxButtonWidth = 246, kBoxButtonHeight = 117;
constexpr i32 kRowX = 254, kRowHeight = 12, kRowArrowX = 285;
constexpr i32 kVideoX = 348, kVideoY = 104;
constexpr u32 kStyleHidden = APP_STYLE_SCREEN_BUTTON_HIDDEN, kStyleShown = APP_STYLE_SCREEN_BUTTON;

const char* const kPlayerNames[6] = {"principio", "rw", "play", "pausa", "ff", "fin"};
const char* const kPlayerCaptions[6] = {"Home", "Rw", "Play", "Pause", "Ff", "End"};
const i32 kPlayerGeometry[6][4] = {{521, 477, 57, 52}, {578, 477, 58, 52}, {636, 477, 36, 52},
                                   {636, 477, 36, 52}, {672, 477, 59, 52}, {731, 477, 55, 52}};

BoxScreenState g_state{};

// "<pattern with one %s>" for each state name, into `pictures`; fatal -2101 on failure.
void LoadStatePictures(const char* pattern, SL_GS_Image** pictures, u32 count) {
  for (u32 i = 0; i < count; ++i) {
    char name[2048];
    SLSnprintfA(name, sizeof name, pattern, kAppStateNames[i]);
    pictures[i] = App_LoadInterfacePicture(name);
    if (!pictures[i]) App_Fatal(APP_FATAL_BOX_PICTURES, "No puedo cargar im\xe1genes");
  }
}

void DestroyPictures(SL_GS_Image** pictures, u32 count) {
  for (u32 i = 0; i < count; ++i) App_Services().gfx->DestroyImageAndClear(&pictures[i]);
}

// The state pictures of a push button, without resizing it.
bool SetButtonPictures(CSL_GS_GuiWindow* window, SL_GS_Image* const* pictures, u32 count) {
  auto* button = static_cast<CSL_GS_GuiButton*>(window);
  bool ok = button->SetNormalImage(pictures[0]);
  if (count > 1) ok = ok && button->SetOverImage(pictures[1]);
  if (count > 2) ok = ok && button->SetClickImage(pictures[2]);
  if (count > 3) ok = ok && button->SetDisabledImage(pictures[3]);
  return ok;
}

CSL_GS_GuiWindow* Create(const SLClassRecord* record, const char* caption, i32 x, i32 y, i32 width, i32 height,
                         u32 style, u32 id) {
  return App_CreateWindowOrFatal(record, caption, x, y, width, height, style, id, nullptr, APP_FATAL_BOX_WINDOWS);
}

void Destroy(CSL_GS_GuiWindow*& window) {
  if (window) App_GuiManager().DestroyWindow(window);
  window = nullptr;
}

CSL_GS_GuiWindow* PlayerButton(u32 id) { return g_state.playerButtons[id - APP_BOX_HOME_ID]; }
CSL_GS_GuiSliderBase* Slider() { return static_cast<CSL_GS_GuiSliderBase*>(g_state.slider); }

// The rows draw the chosen entry and the list's first entry themselves.
void SyncRows() {
  for (CSL_GS_GuiWindow* row : g_state.rows)
    if (row) static_cast<CMyMiniListItemButton*>(row)->SetListRows(g_state.selectedVideo, g_state.firstVideo);
}

// Every change of box or video begins here: the player stops and the controls go back to
// "nothing open".
void CloseVideo() {
  BoxVideosScreen_Player().Close();
  Slider()->SetRange(0);
  g_state.videoOpen = false;
  g_state.playing = false;
  PlayerButton(APP_BOX_PLAY_ID)->Show(true);
  PlayerButton(APP_BOX_PAUSE_ID)->Show(false);
}

void EmptyVideos() {
  g_state.videos.FreeAll();
  g_state.firstVideo = 0;
  g_state.selectedVideo = kBoxNone;
  SyncRows();
}

// The rows show the names from `firstVideo` on; the arrows say whether there is more.
void ShowRowsFrom() {
  const u32 count = g_state.videos.GetCount();
  for (u32 i = 0; i < kBoxRows; ++i) {
    const u32 index = g_state.firstVideo + i;
    if (index < count) {
      g_state.rows[i]->SetText(g_state.videos[index]);
      g_state.rows[i]->Show(true);
    } else {
      g_state.rows[i]->Show(false);
    }
  }
  g_state.rowUp->Show(g_state.firstVideo != 0);
  g_state.rowDown->Show(BoxList_HasMoreBelow(g_state.firstVideo, count, kBoxRows));
  SyncRows();
}

bool AddVideoName(const char* fileName) {
  char* name = SLStrDupA(fileName, true);
  if (!name) return false;
  // The bare name: no extension.
  char* dot = nullptr;
  for (char* p = name; *p; ++p)
    if (*p == '.') dot = p;
  if (dot) *dot = 0;
  if (!g_state.videos.Add(name)) {
    SLFree(name);
    return false;
  }
  return true;
}

void ListVideos(u32 boxNumber) {
  char pattern[4096];
  SLSnprintfA(pattern, sizeof pattern, "%s%sVideos\\%sCajas\\%05lu\\*.AVI", App_ProgramDirectory(), "", "",
              static_cast<unsigned long>(boxNumber));
  CSLFileStorage finder;
  for (SLStorageFindRecord* found = finder.FindFirstA(pattern); found; found = finder.FindNextA()) {
    if (found->flags & SL_FIND_DIRECTORY) continue;
    if (!AddVideoName(found->nameA)) App_Fatal(APP_FATAL_BOX_VIDEO_NAMES, "Insuficiente memoria");
  }
}

void ChooseBox(u32 button) {
  const u32 index = button + g_state.firstBox;
  if (index >= g_state.boxes.GetCount()) return;
  CloseVideo();
  g_state.selectedBoxNumber = g_state.boxes[index].number;
  EmptyVideos();
  ListVideos(g_state.selectedBoxNumber);
  // The list is centred on the box's button.
  const u32 count = g_state.videos.GetCount();
  const u32 shown = count < kBoxRows ? count : kBoxRows;
  const i32 y0 = kBoxButtonY + kBoxButtonHeight * i32(button) + (kBoxButtonHeight - kRowHeight * i32(shown)) / 2;
  g_state.rowUp->Move(kRowArrowX, y0 - 15);
  g_state.rowUp->Show(false);
  for (u32 i = 0; i < kBoxRows; ++i) {
    if (i < shown) {
      g_state.rows[i]->SetText(g_state.videos[i]);
      g_state.rows[i]->Show(true);
      g_state.rows[i]->Move(kRowX, y0 + kRowHeight * i32(i));
    } else {
      g_state.rows[i]->Show(false);
    }
  }
  g_state.rowDown->Move(kRowArrowX, y0 + kRowHeight * i32(shown) + 2);
  g_state.rowDown->Show(count > kBoxRows);
  SyncRows();
}

void StepBoxes(bool down) {
  const u32 count = g_state.boxes.GetCount();
  g_state.firstBox = BoxList_Step(g_state.firstBox, count, kBoxButtons, down);
  CloseVideo();
  g_state.selectedBoxNumber = kBoxNone;
  for (u32 k = 0; k < kBoxButtons; ++k) {
    const u32 index = g_state.firstBox + k;
    if (index < count) {
      if (!SetButtonPictures(g_state.boxButtons[k], g_state.boxes[index].images, 3))
        App_Fatal(APP_FATAL_BOX_VIDEO_NAMES, "Insuficiente memoria");
      g_state.boxButtons[k]->Show(true);
    } else {
      g_state.boxButtons[k]->Show(false);
    }
  }
  g_state.boxUp->Show(g_state.firstBox != 0);
  g_state.boxDown->Show(BoxList_HasMoreBelow(g_state.firstBox, count, kBoxButtons));
  EmptyVideos();
  for (CSL_GS_GuiWindow* row : g_state.rows) row->Show(false);
  g_state.rowUp->Show(false);
  g_state.rowDown->Show(false);
}

void StepVideos(bool down) {
  g_state.firstVideo = BoxList_Step(g_state.firstVideo, g_state.videos.GetCount(), kBoxRows, down);
  ShowRowsFrom();
}

void Play() {
  if (!g_state.videoOpen) return;
  if (!BoxVideosScreen_Player().Play(0, 1.0, false, false)) return;
  g_state.playing = true;
  PlayerButton(APP_BOX_PLAY_ID)->Show(false);
  PlayerButton(APP_BOX_PAUSE_ID)->Show(true);
}

void Pause() {
  if (!g_state.videoOpen) return;
  BoxVideosScreen_Player().Stop();
  g_state.playing = false;
  BoxVideosScreen_UpdateSlider();
  PlayerButton(APP_BOX_PLAY_ID)->Show(true);
  PlayerButton(APP_BOX_PAUSE_ID)->Show(false);
}

u64 CurrentFrame() {
  u64 frame = 0;
  BoxVideosScreen_Player().GetCurrentFrame(&frame);
  return frame;
}

void ChooseVideo(u32 row) {
  const u32 index = row + g_state.firstVideo;
  if (index >= g_state.videos.GetCount()) return;
  g_state.selectedVideo = index;
  SyncRows();
  CloseVideo();
  char path[4096];
  SLSnprintfA(path, sizeof path, "%s%sVideos\\%sCajas\\%05lu\\%s.AVI", App_ProgramDirectory(), "", "",
              static_cast<unsigned long>(g_state.selectedBoxNumber), g_state.videos[index]);
  CSL_GS_MoviePlayer& player = BoxVideosScreen_Player();
  if (!player.Open(path, CMyVIS_arVI::GetClassRecord())) return;
  u64 frames = 0;
  double rate = 0;
  player.GetFrameCount(&frames);
  player.GetFrameRate(&rate);
  g_state.frameCount = frames;
  g_state.frameRate = rate;
  if (frames == 0 || !(rate >= 1e-10)) {
    // Nothing to show: the player stays closed.
    player.Close();
    return;
  }
  if (frames <= kBoxSliderFrameLimit) {
    Slider()->SetRange(u32(frames));
    Slider()->SetStep(u32(frames / 100));
  } else {
    Slider()->SetRange(kBoxSliderLongRange);
    Slider()->SetStep(kBoxSliderLongStep);
  }
  g_state.videoOpen = true;
  g_state.playing = false;
  Play();
}

// Rewind and fast forward move by one second of video and keep playing if they were.
void Wind(bool forward) {
  if (!g_state.videoOpen) return;
  const bool wasPlaying = g_state.playing;
  Pause();
  const u64 current = CurrentFrame();
  const u64 second = u64(g_state.frameRate);
  if (forward ? current >= g_state.frameCount : current == 0) return;
  u64 target;
  if (forward)
    target = g_state.frameCount - current > second ? current + second : g_state.frameCount;
  else
    target = current > second ? current - second : 0;
  BoxVideosScreen_Player().SeekToFrame(target);
  BoxVideosScreen_UpdateSlider();
  if (wasPlaying) Play();
}

void SeekAndShow(u64 frame) {
  if (!g_state.videoOpen) return;
  Pause();
  BoxVideosScreen_Player().SeekToFrame(frame);
  BoxVideosScreen_UpdateSlider();
}

void SliderMoved() {
  if (!g_state.videoOpen) return;
  const u32 position = Slider()->GetPosition();
  const bool wasPlaying = g_state.playing;
  BoxVideosScreen_Player().Stop();
  g_state.playing = false;
  PlayerButton(APP_BOX_PLAY_ID)->Show(true);
  PlayerButton(APP_BOX_PAUSE_ID)->Show(false);
  BoxVideosScreen_Player().SeekToFrame(BoxSlider_FrameOfPosition(position, g_state.frameCount));
  if (wasPlaying) Play();
}

bool PointerInSlider() {
  AppServices& s = App_Services();
  if (!s.mouse->IsButtonDown(1)) return false;
  i32 x, y, width, height;
  if (!g_state.slider->GetScreenRect(&x, &y, &width, &height)) return false;
  const i32 mx = s.mouse->GetX(), my = s.mouse->GetY();
  return mx >= x && my >= y && mx < x + width && my < y + height;
}

// --- The screen loop's parts ---

void BoxEvent(AppScreen* screen, const AppEvent& event) {
  i32 result = 0;
  BoxVideosScreen_OnEvent(event.type, event.data, &result);
  if (result) screen->result = result;
}

void BoxTick(AppScreen*) {
  if (!g_state.videoOpen || !g_state.playing) return;
  if (!BoxVideosScreen_Player().IsPlaying())
    BoxVideosScreen_OnEvent(APP_EVENT_COMMAND, APP_BOX_PAUSE_ID, nullptr);
  else if (!PointerInSlider())
    BoxVideosScreen_UpdateSlider();
}

void BoxDraw(AppScreen*) {
  if (g_state.videoOpen) BoxVideosScreen_Player().RenderFrame(kVideoX, kVideoY);
}

void BoxClose(AppScreen*) { AppEventQueue_PostEvent(APP_EVENT_CLOSE_REQUEST, 0); }

bool AddBox(void*, const char* entryName, u32 number) {
  BoxEntry entry{{}, number};
  for (u32 state = 0; state < 3; ++state) {
    // The entry's first nine characters are "Caja" and the number.
    char name[2048];
    SLSnprintfA(name, sizeof name, "%s%.9s_%s.mximg", kBoxFolder, entryName, kAppStateNames[state]);
    entry.images[state] = App_LoadInterfacePicture(name);
    if (!entry.images[state]) App_Fatal(APP_FATAL_BOX_PICTURES, "No puedo cargar im\xe1genes");
  }
  if (!g_state.boxes.Add(entry)) App_Fatal(APP_FATAL_BOX_WINDOWS, "Insuficiente memoria");
  return true;
}

}  // namespace

BoxScreenState& BoxVideosScreen_State() { return g_state; }

CSL_GS_MoviePlayer& BoxVideosScreen_Player() {
  // Made on first use, after the devices, so it goes before them at exit.
  static CSL_GS_MoviePlayer player;
  return player;
}

bool BoxEntry_ParseNumber(const char* entryName, u32* number) {
  if (!entryName || SLStrNICmpA(entryName, "Caja", 4) != 0) return false;
  u32 value = 0;
  for (u32 i = 4; i < 9; ++i) {
    const char c = entryName[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + u32(c - '0');
  }
  if (number) *number = value;
  return true;
}

bool BoxEntry_Enumerate(CSLBaseStorage* pack, bool (*found)(void* context, const char* entryName, u32 number),
                        void* context) {
  for (SLStorageFindRecord* entry = pack->FindFirstA(kBoxPattern); entry; entry = pack->FindNextA()) {
    u32 number;
    if ((entry->flags & SL_FIND_DIRECTORY) || !BoxEntry_ParseNumber(entry->nameA, &number)) continue;
    if (!found(context, entry->nameA, number)) return false;
  }
  return SLSucceed(true);
}

u32 BoxList_Step(u32 first, u32 count, u32 visible, bool down) {
  if (!down) return first > 0 ? first - 1 : first;
  return BoxList_HasMoreBelow(first, count, visible) ? first + 1 : first;
}

bool BoxList_HasMoreBelow(u32 first, u32 count, u32 visible) { return count > visible && first < count - visible; }

u32 BoxSlider_PositionOfFrame(u64 frame, u64 frameCount) {
  if (frameCount <= kBoxSliderFrameLimit) return u32(frame < frameCount ? frame : frameCount);
  // A long video spreads its frames over the slider's whole range.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(frame) * kBoxSliderLongRange / frameCount;
  return scaled > kBoxSliderLongRange ? kBoxSliderLongRange : u32(scaled);
}

u64 BoxSlider_FrameOfPosition(u32 position, u64 frameCount) {
  if (frameCount <= kBoxSliderFrameLimit) return position;
  const u32 clamped = position < kBoxSliderLongRange ? position : kBoxSliderLongRange;
  return u64(static_cast<unsigned __int128>(clamped) * frameCount / kBoxSliderLongRange);
}

void BoxVideosScreen_UpdateSlider() {
  if (!g_state.slider) return;
  Slider()->SetPosition(g_state.videoOpen ? BoxSlider_PositionOfFrame(CurrentFrame(), g_state.frameCount) : 0);
}

void BoxVideosScreen_Load() {
  AppServices& s = App_Services();
  for (u32 b = 0; b < 6; ++b) {
    char pattern[256];
    SLSnprintfA(pattern, sizeof pattern, "Interface/Construcci\xf3n/Reproducci\xf3n/%s_%%s.mximg", kPlayerNames[b]);
    LoadStatePictures(pattern, g_state.playerImages[b], 4);
  }
  LoadStatePictures("Interface/Construcci\xf3n/Reproducci\xf3n/slider_%s.mximg", g_state.thumbImages, 4);
  g_state.trackImage = App_LoadInterfacePicture("Interface/Construcci\xf3n/Reproducci\xf3n/slider_fondo.mximg");
  if (!g_state.trackImage) App_Fatal(APP_FATAL_BOX_PICTURES, "No puedo cargar im\xe1genes");
  LoadStatePictures("Interface/Construcci\xf3n/Botones/flechita_arriba_%s.mximg", g_state.upImages, 3);
  LoadStatePictures("Interface/Construcci\xf3n/Botones/flechita_abajo_%s.mximg", g_state.downImages, 3);
  g_state.background = App_LoadInterfacePicture("Interface/Construcci\xf3n/Fondo/fondo.mximg");
  if (!g_state.background) App_Fatal(APP_FATAL_BOX_PICTURES, "No puedo cargar im\xe1genes");

  BoxEntry_Enumerate(s.graphicsPack, &AddBox, nullptr);
  if (g_state.boxes.GetCount() == 0) App_Fatal(APP_FATAL_NO_BOXES, "No se han encontrado cajas de construcci\xf3n");

  CSL_GS_MoviePlayer& player = BoxVideosScreen_Player();
  player.SetGfx(s.gfx);
  player.SetSfx(s.sfx);
  g_state.videoOpen = false;

  const SLClassRecord* button = CSL_GS_GuiButton::GetClassRecord();
  for (u32 k = 0; k < kBoxButtons; ++k)
    g_state.boxButtons[k] = Create(button, "Caja", kBoxButtonX, kBoxButtonY + kBoxButtonHeight * i32(k),
                                   kBoxButtonWidth, kBoxButtonHeight, kStyleHidden, APP_BOX_FIRST_ID + k);
  g_state.boxUp = Create(button, "CajaUp", 121, 94, 28, 13, kStyleHidden, APP_BOX_UP_ID);
  g_state.boxDown = Create(button, "CajaDown", 121, 456, 28, 13, kStyleHidden, APP_BOX_DOWN_ID);
  for (u32 i = 0; i < kBoxRows; ++i)
    g_state.rows[i] = Create(CMyMiniListItemButton::GetClassRecord(), "CajaItem", kRowX, 100 + kRowHeight * i32(i),
                             80, kRowHeight, kStyleHidden, APP_BOX_ROW_FIRST_ID + i);
  g_state.rowUp = Create(button, "CajaItemUp", 121, 100, 28, 13, kStyleHidden, APP_BOX_ROW_UP_ID);
  g_state.rowDown = Create(button, "CajaItemDown", 121, 462, 28, 13, kStyleHidden, APP_BOX_ROW_DOWN_ID);
  if (!SetButtonPictures(g_state.boxUp, g_state.upImages, 3) ||
      !SetButtonPictures(g_state.rowUp, g_state.upImages, 3) ||
      !SetButtonPictures(g_state.boxDown, g_state.downImages, 3) ||
      !SetButtonPictures(g_state.rowDown, g_state.downImages, 3))
    App_Fatal(APP_FATAL_BOX_WINDOWS, "Insuficiente memoria");
  g_state.slider =
      Create(CSL_GS_GuiHSlider::GetClassRecord(), "RepSlider", 452, 430, 338, 41, kStyleShown, APP_BOX_SLIDER_ID);
  CSL_GS_GuiSliderBase* slider = Slider();
  if (!slider->SetThumbNormalImage(g_state.thumbImages[0]) || !slider->SetThumbOverImage(g_state.thumbImages[1]) ||
      !slider->SetThumbClickImage(g_state.thumbImages[2]) || !slider->SetThumbDisabledImage(g_state.thumbImages[3]) ||
      !slider->SetTrackImage(g_state.trackImage))
    App_Fatal(APP_FATAL_BOX_WINDOWS, "Insuficiente memoria");
  for (u32 b = 0; b < 6; ++b) {
    const i32* g = kPlayerGeometry[b];
    const u32 id = APP_BOX_HOME_ID + b;
    g_state.playerButtons[b] =
        Create(button, kPlayerCaptions[b], g[0], g[1], g[2], g[3], id == APP_BOX_PAUSE_ID ? kStyleHidden : kStyleShown, id);
    if (!AppButton_SetPictures(g_state.playerButtons[b], g_state.playerImages[b], 4))
      App_Fatal(APP_FATAL_BOX_WINDOWS, "Insuficiente memoria");
  }

  g_state.firstBox = 1;
  g_state.selectedBoxNumber = kBoxNone;
  g_state.firstVideo = 0;
  g_state.selectedVideo = kBoxNone;
  g_state.boxDown->Show(g_state.boxes.GetCount() > kBoxButtons);
  BoxVideosScreen_OnEvent(APP_EVENT_COMMAND, APP_BOX_UP_ID, nullptr);
  BoxVideosScreen_OnEvent(APP_EVENT_COMMAND, APP_BOX_FIRST_ID, nullptr);
  SLSetLastError(SL_OK);
}

void BoxVideosScreen_Free() {
  SLErrorKeeper keep;
  CSL_GS_MoviePlayer& player = BoxVideosScreen_Player();
  player.Close();
  App_Services().gfx->DestroyImageAndClear(&g_state.background);
  g_state.videos.FreeAll();
  for (BoxEntry& box : g_state.boxes) DestroyPictures(box.images, 3);
  g_state.boxes.Free();
  for (auto& pictures : g_state.playerImages) DestroyPictures(pictures, 4);
  DestroyPictures(g_state.thumbImages, 4);
  DestroyPictures(&g_state.trackImage, 1);
  DestroyPictures(g_state.upImages, 3);
  DestroyPictures(g_state.downImages, 3);
  for (CSL_GS_GuiWindow*& window : g_state.boxButtons) Destroy(window);
  Destroy(g_state.boxUp);
  Destroy(g_state.boxDown);
  for (CSL_GS_GuiWindow*& window : g_state.rows) Destroy(window);
  Destroy(g_state.rowUp);
  Destroy(g_state.rowDown);
  Destroy(g_state.slider);
  for (CSL_GS_GuiWindow*& window : g_state.playerButtons) Destroy(window);
  g_state.videoOpen = g_state.playing = false;
  g_state.frameCount = 0;
  g_state.frameRate = 0;
}

void BoxVideosScreen_OnEvent(u32 type, std::uintptr_t data, i32* result) {
  if (type == APP_EVENT_CLOSE_REQUEST) {
    ExitPrompt_Show();
    return;
  }
  if (type == APP_EVENT_SLIDER) {
    if (data == reinterpret_cast<std::uintptr_t>(g_state.slider)) SliderMoved();
    return;
  }
  if (type != APP_EVENT_COMMAND) return;
  const u32 id = u32(data);
  if (id >= APP_BOX_FIRST_ID && id < APP_BOX_FIRST_ID + kBoxButtons) return ChooseBox(id - APP_BOX_FIRST_ID);
  if (id >= APP_BOX_ROW_FIRST_ID && id < APP_BOX_ROW_FIRST_ID + kBoxRows) return ChooseVideo(id - APP_BOX_ROW_FIRST_ID);
  switch (id) {
    case APP_CLOSE_BUTTON_ID:
      if (result) *result = 1;
      break;
    case APP_BOX_UP_ID:
    case APP_BOX_DOWN_ID:
      StepBoxes(id == APP_BOX_DOWN_ID);
      break;
    case APP_BOX_ROW_UP_ID:
    case APP_BOX_ROW_DOWN_ID:
      StepVideos(id == APP_BOX_ROW_DOWN_ID);
      break;
    case APP_BOX_HOME_ID:
      SeekAndShow(0);
      break;
    case APP_BOX_RW_ID:
    case APP_BOX_FF_ID:
      Wind(id == APP_BOX_FF_ID);
      break;
    case APP_BOX_PLAY_ID:
      Play();
      break;
    case APP_BOX_PAUSE_ID:
      Pause();
      break;
    case APP_BOX_END_ID:
      SeekAndShow(g_state.frameCount);
      break;
    default:
      break;
  }
}

i32 BoxVideosScreen_Run() {
  BoxVideosScreen_Load();
  AppScreen screen{"cajas de construcci\xf3n", g_state.background, true, nullptr, &BoxEvent, &BoxTick, &BoxDraw,
                   &BoxClose, 0};
  const i32 result = AppScreen_Run(&screen);
  BoxVideosScreen_Free();
  SLSetLastError(SL_OK);
  return result;
}
