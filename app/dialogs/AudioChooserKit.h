// Pieces the audio chooser, the recorder and the MP3 finder build themselves from: their
// button pictures in an image group of their own, picture buttons, controls looked up by
// id, the placement centred on the stage, and the preview player each one owns.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"

class CSL_GS_GuiWindow;
class CSL_GS_MoviePlayer;
struct SLClassRecord;
struct SL_GS_Image;

// The four state pictures of one button set ("...%s.mximg" with Normal, Over, Click,
// Disabled; `states` of them).
struct AudioPictureSet {
  const char* format;
  u32 states;
  SL_GS_Image* pictures[4];
};

// Loads the sets into image group `group`, then goes back to group 1. Fatal ends:
// `groupCode` when the group cannot be chosen, `imageCode` for a picture that does not load.
void AudioDialog_LoadPictures(u32 group, AudioPictureSet* sets, u32 count, i32 groupCode, i32 imageCode);
// Frees the pictures of the group (the dialogs' OnDestroy).
void AudioDialog_FreePictures(u32 group);

// A child control of the class; null when it cannot be made.
CSL_GS_GuiWindow* AudioDialog_Create(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style,
                                     u32 id, CSL_GS_GuiWindow* parent);
// A 30 × 30 picture button with the set's pictures and image alignment 18.
CSL_GS_GuiWindow* AudioDialog_PictureButton(const AudioPictureSet& set, i32 x, i32 y, u32 style, u32 id,
                                            CSL_GS_GuiWindow* parent);
CSL_GS_GuiWindow* AudioDialog_Child(CSL_GS_GuiWindow* dialog, u32 id);
// Shows / enables a child when it exists.
void AudioDialog_Show(CSL_GS_GuiWindow* dialog, u32 id, bool show);
void AudioDialog_Enable(CSL_GS_GuiWindow* dialog, u32 id, bool enable);

// The preview's play and stop buttons, which share one place: one shown, the other hidden.
void AudioDialog_ShowPlaying(CSL_GS_GuiWindow* dialog, u32 playId, u32 stopId, bool playing);
// Frees every name of the list and empties it.
void AudioDialog_FreeNames(TSLArray<char*>* names);

// Client size, then the stage's centre (the stage is 664 × 372 at (108, 148)).
bool AudioDialog_PlaceOnStage(CSL_GS_GuiWindow* dialog, i32 clientWidth, i32 clientHeight);

// Attaches the preview player to the program's graphics and sound devices.
bool AudioDialog_AttachPreview(CSL_GS_MoviePlayer* preview);
// Opens the file with the reader (null: the one its extension names) and plays it once
// at normal speed; then the stop button takes the play button's place. False (nothing
// played, nothing changed) when the file does not open or play.
bool AudioDialog_PlayPreview(CSL_GS_GuiWindow* dialog, CSL_GS_MoviePlayer* preview, const char* path,
                             const SLClassRecord* reader, u32 playId, u32 stopId);
// Stops the preview and gives the play button its place back.
void AudioDialog_StopPreview(CSL_GS_GuiWindow* dialog, CSL_GS_MoviePlayer* preview, u32 playId, u32 stopId);
