// The recorder's name field: an edit that takes only the characters a recording's file
// name may hold (the movie-name filter), whether typed or set.
#pragma once

#include "gui/SLGuiEdit.h"

class CMyMicRecorder_NameEditCtl : public CSL_GS_GuiEdit {
  SL_DECLARE_CLASS(CMyMicRecorder_NameEditCtl)
 public:
  CMyMicRecorder_NameEditCtl() = default;
  ~CMyMicRecorder_NameEditCtl() override = default;

  void OnChar(u32 character) override;
  void OnTextChanged(CSLStringAnsi* text) override;
};

// The edit's maximum length (false when the window is not an edit).
bool MicRecorderNameEdit_SetMaxLength(CSL_GS_GuiWindow* edit, u32 length);
