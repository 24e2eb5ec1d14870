// The building-box screen behind the start menu's "&Construir": three box buttons that
// page through the boxes the graphics pack holds, the list of the chosen box's videos
// and a small player (home, rewind, play/pause, fast forward, end and a position slider).
// A box's videos are the AVI files of "Videos\Cajas\<number in five digits>" beside the
// program.
#pragma once

#include <cstdint>

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"

class CSLBaseStorage;
class CSL_GS_GuiWindow;
class CSL_GS_MoviePlayer;
struct SL_GS_Image;

// Window ids of the screen.
enum : u32 {
  APP_BOX_FIRST_ID = 100001,  // ..100003, the three box buttons
  APP_BOX_UP_ID = 100011,
  APP_BOX_DOWN_ID = 100012,
  APP_BOX_ROW_FIRST_ID = 100021,  // ..100026, the video rows
  APP_BOX_ROW_UP_ID = 100031,
  APP_BOX_ROW_DOWN_ID = 100032,
  APP_BOX_HOME_ID = 100041,
  APP_BOX_RW_ID = 100042,
  APP_BOX_PLAY_ID = 100043,
  APP_BOX_PAUSE_ID = 100044,
  APP_BOX_FF_ID = 100045,
  APP_BOX_END_ID = 100046,
  APP_BOX_SLIDER_ID = 100051,
};

constexpr u32 kBoxButtons = 3, kBoxRows = 6;
constexpr u32 kBoxNone = 0xFFFFFFFF;
// Longer videos get a slider of this range; shorter ones one position per frame.
constexpr u64 kBoxSliderFrameLimit = 10000000;
constexpr u32 kBoxSliderLongRange = 1000000, kBoxSliderLongStep = 10000;

struct BoxEntry {
  SL_GS_Image* images[3];  // normal, over, click
  u32 number;
};

struct BoxScreenState {
  TSLArray<BoxEntry> boxes;  // in the order the pack lists them
  u32 firstBox;
  u32 selectedBoxNumber;     // kBoxNone: none
  TSLPtrArray<char> videos;  // names without folder and extension
  u32 firstVideo;
  u32 selectedVideo;         // kBoxNone: none
  bool videoOpen, playing;
  u64 frameCount;
  double frameRate;
  SL_GS_Image* playerImages[6][4];  // Home, Rw, Play, Pause, Ff, End: the four states
  SL_GS_Image* thumbImages[4];
  SL_GS_Image* trackImage;
  SL_GS_Image* upImages[3];
  SL_GS_Image* downImages[3];
  SL_GS_Image* background;
  CSL_GS_GuiWindow* boxButtons[kBoxButtons];
  CSL_GS_GuiWindow* boxUp;
  CSL_GS_GuiWindow* boxDown;
  CSL_GS_GuiWindow* rows[kBoxRows];
  CSL_GS_GuiWindow* rowUp;
  CSL_GS_GuiWindow* rowDown;
  CSL_GS_GuiWindow* slider;
  CSL_GS_GuiWindow* playerButtons[6];  // by id - APP_BOX_HOME_ID
  i32 result;
};

// The screen's state (one screen at a time) and its video player.
BoxScreenState& BoxVideosScreen_State();
CSL_GS_MoviePlayer& BoxVideosScreen_Player();

// 1 after the close button, -1 when the user chose to quit, -1000 when the main window
// is gone.
i32 BoxVideosScreen_Run();
// Builds and releases everything; a failure to load ends the program (-2101 pictures,
// -2102 memory, -2103 no box at all).
void BoxVideosScreen_Load();
void BoxVideosScreen_Free();
// One application event (type, data); `result` receives a screen result when one is set.
void BoxVideosScreen_OnEvent(u32 type, std::uintptr_t data, i32* result);
// The slider from the player's current frame.
void BoxVideosScreen_UpdateSlider();

// The box number of a pack entry named "CajaNNNNN_normal.mximg": true only when the five
// characters after "Caja" are decimal digits.
bool BoxEntry_ParseNumber(const char* entryName, u32* number);
// Lists the box pictures of `pack`, calling `found` with each accepted entry name and its
// number, in the pack's order; false as soon as `found` answers false.
bool BoxEntry_Enumerate(CSLBaseStorage* pack, bool (*found)(void* context, const char* entryName, u32 number),
                        void* context);
// The first entry shown after one step of a list of `count` entries shown `visible` at a
// time (`down` one further, else one back); the same value when the step is not possible.
u32 BoxList_Step(u32 first, u32 count, u32 visible, bool down);
// Whether the list's "more below" arrow shows with `first` on top.
bool BoxList_HasMoreBelow(u32 first, u32 count, u32 visible);
// Slider position for a frame, and frame for a slider position, for a video of
// `frameCount` frames.
u32 BoxSlider_PositionOfFrame(u64 frame, u64 frameCount);
u64 BoxSlider_FrameOfPosition(u32 position, u64 frameCount);
