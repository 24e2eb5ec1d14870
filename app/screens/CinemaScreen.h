// The cinema: the whole movie shown scene after scene in a 664 x 372 viewport at (68, 78)
// of a cinema hall, between an intro video and a final video with an applauding
// audience, with Play and Pause buttons and a position slider. The movie advances one
// frame per logic tick (60 per second), rendered by the scene renderer; the two videos
// play in the cinema's own movie player.
//
// States: 1 the intro video, 2 the movie, 3 the final video. The intro's end starts the
// movie at frame 0; the movie's end starts the final video; the final video's end stops
// on frame 0 of the movie, paused. Pause in states 1 and 3 cuts the video the same way;
// Play after the movie's end starts it again from frame 0. "Play" visible means paused,
// "Pause" visible means running.
//
// The editor opens it from its command dispatch; the cinema's loop runs nested inside
// (the application lock is recursive). Every top-level window except the close button is
// hidden while it runs and gets its visibility back when it ends.
#pragma once

#include <cstdint>

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"

class CSL_GS_GuiWindow;
class CSL_GS_GuiHSlider;
class CSL_GS_MoviePlayer;
struct SL_GS_Image;
struct SL_GS_SoundRecord;

enum : u32 {
  CINEMA_PLAY_ID = 201001,
  CINEMA_PAUSE_ID = 201002,
  CINEMA_SLIDER_ID = 201003,
};

enum : u32 {
  CINEMA_STATE_INTRO = 1,
  CINEMA_STATE_MOVIE = 2,
  CINEMA_STATE_FINAL = 3,
};

// Ticks of the final video during which the audience applauds (28 s).
inline constexpr u32 kCinemaApplauseTicks = 1680;

struct CinemaSavedWindow {
  CSL_GS_GuiWindow* window;  // one reference held
  u32 visible;
};

// The screen's process-wide values.
struct CinemaScreenState {
  u32 state;
  u32 position;    // the movie frame shown, 0..total
  u32 total;       // the sum of the scenes' lengths
  u32 finalTicks;  // logic ticks since the final video started
  CSL_GS_GuiWindow* previousActive;  // one reference held, or null
  TSLArray<CinemaSavedWindow> saved;
  SL_GS_Image* play[3];
  SL_GS_Image* pause[3];
  SL_GS_Image* thumb[3];
  SL_GS_Image* track;
  SL_GS_Image* audience[3];  // calm, then the two applause pictures
  SL_GS_Image* hall;
  SL_GS_SoundRecord* applause;
  CSL_GS_GuiHSlider* slider;
  CSL_GS_GuiWindow* playButton;
  CSL_GS_GuiWindow* pauseButton;
};
CinemaScreenState& CinemaScreen_State();
// The cinema's movie player, beside the program's own.
CSL_GS_MoviePlayer& CinemaScreen_Player();

// 1 when left with the close button (and at once for a movie without scenes), -1 when
// the quit flag was seen, -1000 when the main window is gone.
i32 CinemaScreen_Run();

// The parts of the screen, for the screen loop and tests.
void CinemaScreen_Load();
void CinemaScreen_Free();
void CinemaScreen_OnEvent(u32 type, std::uintptr_t data, i32* result);
void CinemaScreen_Update();
void CinemaScreen_UpdateSlider();
void CinemaScreen_Draw();
// Movie time to (scene, frame in it) by the movie's own rule; 1 past the end.
u32 CinemaScreen_FindSceneForFrame(u32 frame, i32* sceneIndex, u32* localFrame);
// The audience picture (1 calm, 2 and 3 applauding) for a state, the final video's ticks
// and the millisecond clock.
u32 CinemaScreen_AudiencePicture(u32 state, u32 finalTicks, u32 milliseconds);
