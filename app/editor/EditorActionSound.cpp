// The length of an action's voice, and the dialogue text the child typed for it.
#include <cmath>

#include "app/services/AppGlobals.h"
#include "app/editor/EditorAction.h"
#include "app/editor/EditorCallbacks.h"
#include "media/SLMoviePlayer.h"

u32 ActionSound_Load(SoundItem* sound) {
  if (!SoundItem_AttachDevices(sound)) App_Fatal(kFatalActionSoundPlayer, "Insuficiente memoria");
  if (!SoundItem_OpenFile(sound)) return 0;
  CSL_GS_MoviePlayer* player = sound->player;
  u64 frames = 0;
  if (!player->GetFrameCount(&frames)) return 0;
  SLAudioFormat format{};
  const bool hasAudio = player->GetAudioFormat(&format);
  double seconds = 0.0;
  double rate = 0.0;
  if (player->GetFrameRate(&rate)) {
    // A video's length counts in whole seconds.
    if (!(rate > 0.0)) return SLFail(SL_E_NO_DECODABLE_DATA, 0u);
    seconds = std::trunc(double(frames) / rate);
  } else if (SLGetLastError() == SL_E_NO_VIDEO_STREAM && hasAudio && format.samplesPerSecond != 0) {
    seconds = double(frames) / double(format.samplesPerSecond);
  } else {
    return 0;
  }
  const double length = seconds * 60.0 / sound->speed;
  // A speed of 0 or a length past the frame range has no length the movie could hold.
  if (!(length >= 0.0) || length >= 4294967295.0) return SLFail(SL_E_BAD_FORMAT, 0u);
  SLSetLastError(SL_OK);
  return u32(length);
}

const char* EditorAction_TrimDialogue(const char* text) {
  const char* first = EditorText_Trim(text);
  if (!first) return nullptr;
  // Blanks typed right before the first word stay (the child may indent); blanks before
  // a line break or a control character are dropped with it.
  while (first > text && first[-1] == ' ') --first;
  return first;
}
