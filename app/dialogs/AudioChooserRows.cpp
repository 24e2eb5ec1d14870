#include "app/dialogs/AudioChooserRows.h"

#include "foundation/SLError.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiScrollBar.h"

namespace {

CSL_GS_GuiWindow* Child(CSL_GS_GuiWindow* dialog, u32 id) { return dialog->GetManager()->FindChildById(dialog, id); }

CSL_GS_GuiScrollBarBase* Bar(CSL_GS_GuiWindow* dialog) {
  CSL_GS_GuiWindow* bar = Child(dialog, AUDIO_SCROLL_BAR_ID);
  return bar && bar->IsKindOf(CSL_GS_GuiScrollBarBase::GetClassRecord()) ? static_cast<CSL_GS_GuiScrollBarBase*>(bar)
                                                                            : nullptr;
}

bool OnView(u32 count, u32 position, u32 selected) {
  return count > 0 && selected != AUDIO_NO_SELECTION && u64(2) * position <= selected &&
         selected <= u64(2) * position + AUDIO_ROW_COUNT - 1;
}

}  // namespace

u32 AudioRows_ScrollRange(u32 count) { return count <= AUDIO_ROW_COUNT ? 0 : (count - 1) / 2 - 5; }

bool AudioRows_ResetScrollBar(CSL_GS_GuiWindow* dialog, u32 count) {
  CSL_GS_GuiScrollBarBase* bar = Bar(dialog);
  if (!bar) return SLFail(SL_E_NOT_INITIALISED, false);
  const u32 range = AudioRows_ScrollRange(count);
  return bar->SetRange(range) && bar->SetPosition(0u) && bar->Enable(range > 0);
}

u32 AudioRows_ScrollPosition(CSL_GS_GuiWindow* dialog) {
  CSL_GS_GuiScrollBarBase* bar = Bar(dialog);
  return bar ? bar->GetPosition() : 0;
}

u32 AudioRows_EntryOfRow(CSL_GS_GuiWindow* dialog, u32 rowId) {
  return (rowId - AUDIO_FIRST_ROW_ID) + 2 * AudioRows_ScrollPosition(dialog);
}

bool AudioRows_FrameRow(CSL_GS_GuiWindow* dialog, u32 rowId) {
  CSL_GS_GuiWindow* frame = Child(dialog, AUDIO_SELECTION_FRAME_ID);
  CSL_GS_GuiWindow* row = Child(dialog, rowId);
  if (!frame || !row) return SLFail(SL_E_NOT_INITIALISED, false);
  const SLGuiRect& r = row->GetWindowRect();
  return frame->Move(r.x - 4, r.y - 4) && frame->Show(true);
}

bool AudioRows_Fill(CSL_GS_GuiWindow* dialog, u32 count, AudioRowText text, const void* context, u32 selected) {
  const u32 first = 2 * AudioRows_ScrollPosition(dialog);
  for (u32 i = 0; i < AUDIO_ROW_COUNT; ++i) {
    CSL_GS_GuiWindow* row = Child(dialog, AUDIO_FIRST_ROW_ID + i);
    if (!row) return SLFail(SL_E_NOT_INITIALISED, false);
    const u64 entry = u64(first) + i;
    if (entry < count) {
      if (!row->SetText(text(context, u32(entry))) || !row->Show(true)) return false;
    } else if (!row->Show(false)) {
      return false;
    }
  }
  CSL_GS_GuiWindow* frame = Child(dialog, AUDIO_SELECTION_FRAME_ID);
  if (!frame) return SLFail(SL_E_NOT_INITIALISED, false);
  if (OnView(count, first / 2, selected)) return AudioRows_FrameRow(dialog, AUDIO_FIRST_ROW_ID + (selected - first));
  return frame->Show(false);
}

u32 AudioRows_Select(CSL_GS_GuiWindow* dialog, u32 rowId) {
  AudioRows_FrameRow(dialog, rowId);
  for (u32 id : {u32(AUDIO_PLAY_ID), u32(AUDIO_STOP_ID), 1u})
    if (CSL_GS_GuiWindow* control = Child(dialog, id)) control->Enable(true);
  SLSetLastError(SL_OK);
  return AudioRows_EntryOfRow(dialog, rowId);
}

void AudioRows_Blink(CSL_GS_GuiWindow* dialog, u32 count, u32 selected) {
  CSL_GS_GuiWindow* frame = Child(dialog, AUDIO_SELECTION_FRAME_ID);
  if (!frame) return;
  const bool shown = (frame->GetStyle() & SL_GUI_WS_VISIBLE) != 0;
  if (OnView(count, AudioRows_ScrollPosition(dialog), selected))
    frame->Show(!shown);
  else if (shown)
    frame->Show(false);
  SLSetLastError(SL_OK);
}
