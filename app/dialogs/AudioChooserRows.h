// The two-column list shared by the audio chooser and the MP3 finder: twelve row buttons
// (ids 101..112, two names per line, six lines), a vertical bar (id 1001) that scrolls
// by lines, and a selection frame (id 1002) that blinks over the selected row. Rows show
// the names from index 2 × bar position on, so the row under the pointer always names
// the entry a click selects.
#pragma once

#include "foundation/SLTypes.h"

class CSL_GS_GuiWindow;

enum : u32 {
  AUDIO_ROW_COUNT = 12,
  AUDIO_FIRST_ROW_ID = 101,
  AUDIO_SCROLL_BAR_ID = 1001,
  AUDIO_SELECTION_FRAME_ID = 1002,
  AUDIO_PLAY_ID = 301,  // the preview's play and stop buttons, which share one place
  AUDIO_STOP_ID = 302,
  AUDIO_NO_SELECTION = 0xFFFFFFFF,
};

// The text a row shows for entry `index`.
using AudioRowText = const char* (*)(const void* context, u32 index);

// The bar's range for `count` entries: 0 up to twelve, else one step per line past six.
u32 AudioRows_ScrollRange(u32 count);
// Range, position 0 and enabled state of the bar for `count` entries.
bool AudioRows_ResetScrollBar(CSL_GS_GuiWindow* dialog, u32 count);
// The bar's position (0 without a bar).
u32 AudioRows_ScrollPosition(CSL_GS_GuiWindow* dialog);
// The entry a row stands for at the bar's current position.
u32 AudioRows_EntryOfRow(CSL_GS_GuiWindow* dialog, u32 rowId);
// Shows each row with its entry's text, hides the rows past the end, and puts the
// selection frame on the selected entry's row (hidden when that row is scrolled away).
bool AudioRows_Fill(CSL_GS_GuiWindow* dialog, u32 count, AudioRowText text, const void* context, u32 selected);
// Puts the frame 4 pixels up and left of the row and shows it.
bool AudioRows_FrameRow(CSL_GS_GuiWindow* dialog, u32 rowId);
// A click on a row: the frame goes onto it and play (301), stop (302) and accept (1) are
// enabled. The entry the row names.
u32 AudioRows_Select(CSL_GS_GuiWindow* dialog, u32 rowId);
// The blink of timer 1: the frame flips while the selection's row is on view, else it is hidden.
void AudioRows_Blink(CSL_GS_GuiWindow* dialog, u32 count, u32 selected);
