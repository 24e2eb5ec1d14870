#include "app/screens/CinemaScreen.h"

#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/CommonResources.h"
#include "app/screens/ScreenLoop.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLError.h"
#include "foundation/SLPrintf.h"
#include "gamesystem/SLFrameTime.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gamesystem/directx/SLMouseInput.h"
#include "gamesystem/directx/SLSfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiSlider.h"
#include "media/SLMoviePlayer.h"
#include "media/SLVideoAudioReaderWAV.h"
#include "storage/SLFastFileStorage.h"

namespace {

constexpr i32 kViewX = 68, kViewY = 78;
constexpr u32 kButtonStyleHidden = APP_STYLE_SCREEN_BUTTON_HIDDEN, kButtonStyleShown = APP_STYLE_SCREEN_BUTTON,
             kSliderStyle = u32(SL_GUI_WS_VISIBLE) | SL_GUI_SLS_IMAGE;
constexpr u32 kMovieRate = 60;

Movie* TheMovie() { return Movie_Get(); }

bool IsShown(CSL_GS_GuiWindow* window) { return window && (window->GetStyle() & SL_GUI_WS_VISIBLE); }

void Render(u32 sceneIndex, u32 frame, u32 mode) {
  if (Scene* scene = Movie_SceneAt(TheMovie(), sceneIndex)) Scene_RenderAtFrame(scene, frame, mode);
}

// Selects the scene of the position and renders it there.
void ShowPosition(u32 mode) {
  CinemaScreenState& c = CinemaScreen_State();
  i32 scene = 0;
  u32 local = 0;
  CinemaScreen_FindSceneForFrame(c.position, &scene, &local);
  Movie_SelectScene(TheMovie(), u32(scene));
  Render(u32(scene), local, mode);
}

void ShowRunning(bool running) {
  CinemaScreenState& c = CinemaScreen_State();
  c.playButton->Show(!running);
  c.pauseButton->Show(running);
}

// The final video from its start; false when it does not open or play.
bool StartFinalVideo() {
  char path[4096];
  SLSnprintfA(path, sizeof path, "%s%sVideos\\%sCine\\Final.AVI", App_ProgramDirectory(), "", "");
  CSL_GS_MoviePlayer& player = CinemaScreen_Player();
  return player.Open(path, nullptr) && player.Play(0, 1.0, false, false);
}

void Play() {
  CinemaScreenState& c = CinemaScreen_State();
  if (c.state != CINEMA_STATE_MOVIE) {
    c.state = CINEMA_STATE_MOVIE;
    c.position = 0;
  } else if (c.position >= c.total) {
    c.position = 0;
  }
  i32 scene = 0;
  u32 local = 0;
  const u32 past = CinemaScreen_FindSceneForFrame(c.position, &scene, &local);
  Movie_SelectScene(TheMovie(), u32(scene));
  if (!past) {
    Render(u32(scene), local, kModeSeek);
    CinemaScreen_UpdateSlider();
    ShowRunning(true);
    return;
  }
  // Only an empty movie is past its end here.
  Render(u32(scene), local, kModeSilent);
  if (StartFinalVideo()) {
    c.state = CINEMA_STATE_FINAL;
    c.finalTicks = 0;
    CinemaScreen_UpdateSlider();
    ShowRunning(true);
  } else {
    CinemaScreen_UpdateSlider();
  }
}

void Pause() {
  CinemaScreenState& c = CinemaScreen_State();
  if (c.state == CINEMA_STATE_MOVIE) {
    ShowPosition(kModeSilent);  // the movie stops where it is
  } else {
    if (c.applause) App_Services().sfx->Stop(c.applause, 0);
    CinemaScreen_Player().Stop();
    c.state = CINEMA_STATE_MOVIE;
    c.position = 0;
    Movie_SelectScene(TheMovie(), 0);
    Render(0, 0, kModeSilent);
  }
  CinemaScreen_UpdateSlider();
  ShowRunning(false);
}

void Seek() {
  CinemaScreenState& c = CinemaScreen_State();
  const bool running = IsShown(c.pauseButton);
  const u32 sought = c.slider->GetPosition();
  c.position = sought;
  if (running) Pause();
  // Pausing a video goes back to frame 0; the position asked for holds.
  c.position = sought;
  c.state = CINEMA_STATE_MOVIE;
  if (running)
    Play();
  else
    ShowPosition(kModeSilent);
  c.slider->SetPosition(c.position);
}

bool SliderHeld() {
  CinemaScreenState& c = CinemaScreen_State();
  CSL_GS_MouseInput_DirectX* mouse = App_Services().mouse;
  if (!c.slider || !mouse->IsButtonDown(1)) return false;
  i32 x = 0, y = 0, w = 0, h = 0;
  if (!c.slider->GetScreenRect(&x, &y, &w, &h)) return false;
  const i32 mx = mouse->GetX(), my = mouse->GetY();
  return mx >= x && my >= y && mx < x + w && my < y + h;
}

void OnScreenEvent(AppScreen* screen, const AppEvent& event) { CinemaScreen_OnEvent(event.type, event.data, &screen->result); }

void OnScreenTick(AppScreen*) {
  CinemaScreen_Update();
  CinemaScreenState& c = CinemaScreen_State();
  if (c.state == CINEMA_STATE_FINAL) ++c.finalTicks;
}

void OnScreenDraw(AppScreen*) { CinemaScreen_Draw(); }

void OnCloseRequest(AppScreen*) { AppEventQueue_PostEvent(APP_EVENT_CLOSE_REQUEST, 0); }

template <class T>
void ReleaseWindow(T*& window) {
  if (window) App_GuiManager().DestroyWindow(window);
  window = nullptr;
}

}  // namespace

CinemaScreenState& CinemaScreen_State() {
  static CinemaScreenState state{};
  return state;
}

CSL_GS_MoviePlayer& CinemaScreen_Player() {
  static CSL_GS_MoviePlayer player;
  return player;
}

u32 CinemaScreen_FindSceneForFrame(u32 frame, i32* sceneIndex, u32* localFrame) {
  const u32 past = Movie_FindSceneForFrame(TheMovie(), frame, sceneIndex, localFrame);
  if (*sceneIndex < 0) *sceneIndex = 0;
  return past;
}

u32 CinemaScreen_AudiencePicture(u32 state, u32 finalTicks, u32 milliseconds) {
  if (state == CINEMA_STATE_FINAL && finalTicks <= kCinemaApplauseTicks) return milliseconds % 200 < 100 ? 2 : 3;
  return 1;
}

void CinemaScreen_UpdateSlider() {
  CinemaScreenState& c = CinemaScreen_State();
  if (!c.slider) return;
  switch (c.state) {
    case CINEMA_STATE_INTRO: c.slider->SetPosition(0); break;
    case CINEMA_STATE_MOVIE: c.slider->SetPosition(c.position); break;
    default: c.slider->SetPosition(c.slider->GetRange()); break;
  }
}

void CinemaScreen_Load() {
  CinemaScreenState& c = CinemaScreen_State();
  CMyGuiManager& gui = App_GuiManager();
  AppServices& s = App_Services();

  // The window to give the activation back to, then every window but the close button
  // out of sight.
  c.previousActive = nullptr;
  for (CSL_GS_GuiWindow* w = gui.GetFirstChild(nullptr); w; w = gui.GetNextSibling(w)) {
    if (w->GetId() != APP_CLOSE_BUTTON_ID && w->IsVisibleInTree()) {
      w->AddRef();
      c.previousActive = w;
      break;
    }
  }
  for (CSL_GS_GuiWindow* w = gui.GetFirstChild(nullptr); w; w = gui.GetNextSibling(w)) {
    if (w->GetId() == APP_CLOSE_BUTTON_ID) continue;
    if (!c.saved.Add(CinemaSavedWindow{w, IsShown(w) ? 1u : 0u}))
      App_Fatal(APP_FATAL_CINEMA_WINDOWS, "Insuficiente memoria");
    w->AddRef();
  }
  for (const CinemaSavedWindow& saved : c.saved) saved.window->Show(false);

  // Pictures and the applause.
  const char* const kStates[3] = {"Normal", "Over", "Click"};
  char name[512];
  for (u32 i = 0; i < 3; ++i) {
    SLSnprintfA(name, sizeof name, "Interface/Visor Pel\xed" "culas/Reproducci\xf3n/play_%s.mximg", kStates[i]);
    c.play[i] = App_LoadInterfacePicture(name);
    SLSnprintfA(name, sizeof name, "Interface/Visor Pel\xed" "culas/Reproducci\xf3n/pause_%s.mximg", kStates[i]);
    c.pause[i] = App_LoadInterfacePicture(name);
    SLSnprintfA(name, sizeof name, "Interface/Visor Pel\xed" "culas/Reproducci\xf3n/slider_%s.mximg", kStates[i]);
    c.thumb[i] = App_LoadInterfacePicture(name);
    SLSnprintfA(name, sizeof name, "Interface/Visor Pel\xed" "culas/Fondo/gente%lu.mximg", (unsigned long)(i + 1));
    c.audience[i] = App_LoadInterfacePicture(name);
    if (!c.play[i] || !c.pause[i] || !c.thumb[i] || !c.audience[i])
      App_Fatal(APP_FATAL_CINEMA_PICTURES, "No puedo cargar im\xe1genes");
  }
  c.track = App_LoadInterfacePicture("Interface/Visor Pel\xed" "culas/Reproducci\xf3n/slider_fondo.mximg");
  c.hall = App_LoadInterfacePicture("Interface/Visor Pel\xed" "culas/Fondo/fondo.mximg");
  if (!c.track || !c.hall) App_Fatal(APP_FATAL_CINEMA_PICTURES, "No puedo cargar im\xe1genes");
  c.applause = s.sfx->LoadSound(s.soundPack, "applause.wav", 1, CSLVideoAudioReaderWAV::GetClassRecord());
  if (!c.applause) App_Fatal(APP_FATAL_CINEMA_SOUNDS, "No puedo cargar sonidos");

  // The controls, all in one place on the hall's lower edge.
  c.slider = static_cast<CSL_GS_GuiHSlider*>(gui.CreateWindow(CSL_GS_GuiHSlider::GetClassRecord(), "RepSlider", 511,
                                                              460, 221, 23, kSliderStyle, AppSkin, CINEMA_SLIDER_ID,
                                                              nullptr));
  c.playButton = gui.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "Play", 481, 460, 24, 23, kButtonStyleHidden,
                                  AppSkin, CINEMA_PLAY_ID, nullptr);
  c.pauseButton = gui.CreateWindow(CSL_GS_GuiButton::GetClassRecord(), "Pause", 481, 460, 24, 23, kButtonStyleShown,
                                   AppSkin, CINEMA_PAUSE_ID, nullptr);
  CSL_GS_MoviePlayer& player = CinemaScreen_Player();
  if (!c.slider || !c.playButton || !c.pauseButton || !c.slider->SetThumbNormalImage(c.thumb[0]) ||
      !c.slider->SetThumbOverImage(c.thumb[1]) || !c.slider->SetThumbClickImage(c.thumb[2]) ||
      !c.slider->SetTrackImage(c.track) || !AppButton_SetPictures(c.playButton, c.play, 3) ||
      !AppButton_SetPictures(c.pauseButton, c.pause, 3) || !player.SetGfx(s.gfx) || !player.SetSfx(s.sfx))
    App_Fatal(APP_FATAL_CINEMA_WINDOWS, "Insuficiente memoria");

  // The intro when there is one, else straight to the movie.
  c.state = CINEMA_STATE_MOVIE;
  char path[4096];
  SLSnprintfA(path, sizeof path, "%s%sVideos\\%sCine\\Intro.AVI", App_ProgramDirectory(), "", "");
  if (player.Open(path, nullptr)) c.state = CINEMA_STATE_INTRO;

  Movie* movie = TheMovie();
  c.position = 0;
  c.total = 0;
  c.finalTicks = 0;
  for (u32 i = 0; i < Movie_SceneCount(movie); ++i) c.total += Movie_SceneAt(movie, i)->length;
  c.slider->SetRange(c.total);
  c.slider->SetStep(c.total / 100);
  Movie_SelectScene(movie, 0);
  Render(0, 0, kModeSilent);
  if (c.state == CINEMA_STATE_INTRO && !player.Play(0, 1.0, false, false)) c.state = CINEMA_STATE_MOVIE;
  if (c.state == CINEMA_STATE_MOVIE) Render(0, 0, kModeSeek);
  CinemaScreen_UpdateSlider();
  SLSetLastError(SL_OK);
}

void CinemaScreen_Free() {
  CinemaScreenState& c = CinemaScreen_State();
  CMyGuiManager& gui = App_GuiManager();
  AppServices& s = App_Services();
  Movie* movie = TheMovie();
  if (Scene* current = Movie_SceneAt(movie, movie->currentScene))
    Scene_RenderAtFrame(current, current->currentFrame, kModeSilent);
  Movie_SelectScene(movie, 0);
  Render(0, 0, kModeSilent);

  CSL_GS_MoviePlayer& player = CinemaScreen_Player();
  player.Stop();
  // The player lets go of its file and of the devices, which end before it does.
  player.Close();
  player.SetGfx(nullptr);
  player.SetSfx(nullptr);
  s.sfx->DestroySoundAndClear(&c.applause);
  for (SL_GS_Image** picture : {&c.play[0], &c.play[1], &c.play[2], &c.pause[0], &c.pause[1], &c.pause[2],
                                &c.thumb[0], &c.thumb[1], &c.thumb[2], &c.track, &c.audience[0], &c.audience[1],
                                &c.audience[2], &c.hall})
    s.gfx->DestroyImageAndClear(picture);
  ReleaseWindow(c.slider);
  ReleaseWindow(c.playButton);
  ReleaseWindow(c.pauseButton);

  // A window destroyed meanwhile is no longer the manager's and is skipped.
  for (const CinemaSavedWindow& saved : c.saved) {
    if (gui.IsRegistered(saved.window)) saved.window->Show(saved.visible != 0);
    saved.window->Release();
  }
  c.saved.Free();
  CSL_GS_GuiWindow* previous = c.previousActive;
  c.previousActive = nullptr;
  gui.ActivateWindow(previous && gui.IsRegistered(previous) ? previous : nullptr);
  if (previous) previous->Release();
  SLSetLastError(SL_OK);
}

void CinemaScreen_OnEvent(u32 type, std::uintptr_t data, i32* result) {
  CinemaScreenState& c = CinemaScreen_State();
  switch (type) {
    case APP_EVENT_DEFERRED_CALL:
      AppEvent_RunDeferredCall(reinterpret_cast<DeferredCall*>(data));
      break;
    case APP_EVENT_COMMAND:
      if (data == APP_CLOSE_BUTTON_ID) *result = 1;
      else if (data == CINEMA_PLAY_ID && IsShown(c.playButton)) Play();
      else if (data == CINEMA_PAUSE_ID && IsShown(c.pauseButton)) Pause();
      break;
    case APP_EVENT_SLIDER:
      if (c.slider && data == reinterpret_cast<std::uintptr_t>(c.slider)) Seek();
      break;
    case APP_EVENT_CLOSE_REQUEST:
      ExitPrompt_Show();
      break;
    default:
      break;  // other events are dropped
  }
}

void CinemaScreen_Update() {
  CinemaScreenState& c = CinemaScreen_State();
  if (!IsShown(c.pauseButton)) return;
  CSL_GS_MoviePlayer& player = CinemaScreen_Player();
  switch (c.state) {
    case CINEMA_STATE_INTRO:
      if (!player.IsPlaying()) {
        Pause();
        Play();
      }
      break;
    case CINEMA_STATE_MOVIE:
      if (c.position < c.total) {
        ++c.position;
        i32 scene = 0;
        u32 local = 0;
        CinemaScreen_FindSceneForFrame(c.position, &scene, &local);
        Movie* movie = TheMovie();
        const bool changed = u32(scene) != movie->currentScene;
        if (changed) {
          // The old scene once more, silent, so that its sounds stop.
          if (Scene* current = Movie_SceneAt(movie, movie->currentScene))
            Scene_RenderAtFrame(current, current->length, kModeSilent);
          Movie_SelectScene(movie, u32(scene));
        }
        Render(u32(scene), local, changed ? kModeSeek : kModePlayback);
      } else {
        i32 scene = 0;
        u32 local = 0;
        CinemaScreen_FindSceneForFrame(c.total, &scene, &local);
        Movie_SelectScene(TheMovie(), u32(scene));
        Render(u32(scene), local, kModeSilent);
        if (StartFinalVideo()) {
          c.state = CINEMA_STATE_FINAL;
          c.finalTicks = 0;
        } else {
          Pause();
        }
      }
      break;
    default:
      if (!player.IsPlaying()) Pause();
      break;
  }
  if (IsShown(c.pauseButton) && !SliderHeld()) CinemaScreen_UpdateSlider();
}

void CinemaScreen_Draw() {
  CinemaScreenState& c = CinemaScreen_State();
  CSL_GS_Gfx_DirectX* gfx = App_Services().gfx;
  if (c.state == CINEMA_STATE_MOVIE)
    Stage_Draw(TheMovie(), kViewX, kViewY);
  else
    CinemaScreen_Player().RenderFrame(kViewX, kViewY);
  // The hall around the viewport, in four pieces.
  static const struct {
    i32 x, y, w, h;
  } kPieces[4] = {{0, 0, 800, 78}, {0, 450, 800, 150}, {0, 78, 68, 372}, {732, 78, 68, 372}};
  for (const auto& piece : kPieces) {
    SL_GS_DrawImageOptions options{};
    options.flags = SL_GS_DRAW_SOURCE;
    options.sourceX = piece.x, options.sourceY = piece.y, options.sourceWidth = piece.w, options.sourceHeight = piece.h;
    gfx->DrawImage(c.hall, piece.x, piece.y, &options);
  }
  const u32 audience = CinemaScreen_AudiencePicture(c.state, c.finalTicks, SL_GS_GetTimeMs());
  gfx->DrawImage(c.audience[audience - 1], 0, audience == 1 ? 456 : 449, nullptr);
}

i32 CinemaScreen_Run() {
  if (Movie_SceneCount(TheMovie()) == 0) return SLSucceed(1);
  CinemaScreen_Load();
  App_Services().frameTime->SetRate(kMovieRate);
  AppScreen screen{"cine", nullptr, true, nullptr, &OnScreenEvent, &OnScreenTick, &OnScreenDraw, &OnCloseRequest, 0};
  const i32 result = AppScreen_Run(&screen);
  CinemaScreen_Free();
  SLSetLastError(SL_OK);
  return result;
}
