#include "app/dialogs/RecorderNameEdit.h"

#include "app/dialogs/ProjectDialogs.h"
#include "foundation/SLError.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyMicRecorder_NameEditCtl, CSL_GS_GuiEdit)

void CMyMicRecorder_NameEditCtl::OnChar(u32 character) {
  if (!ProjectName_AcceptsTyped(character)) return;
  CSL_GS_GuiEdit::OnChar(character);
}

void CMyMicRecorder_NameEditCtl::OnTextChanged(CSLStringAnsi* text) {
  ProjectName_CleanText(text);
  CSL_GS_GuiEdit::OnTextChanged(text);
}

bool MicRecorderNameEdit_SetMaxLength(CSL_GS_GuiWindow* edit, u32 length) {
  if (!edit || !edit->IsKindOf(CSL_GS_GuiEdit::GetClassRecord())) return SLFail(SL_E_INVALID_ARG, false);
  return static_cast<CSL_GS_GuiEdit*>(edit)->SetMaxLength(length);
}
