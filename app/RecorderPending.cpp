#include "app/Recorder.h"
SL_IMPLEMENT_CLASS_CREATABLE(CMyMicRecorderDialog, CSL_GS_GuiTopLevelWindow)
CMyMicRecorderDialog::CMyMicRecorderDialog() = default;
CMyMicRecorderDialog::~CMyMicRecorderDialog() = default;
bool CMyMicRecorderDialog::OnCommand(CSL_GS_GuiWindow* s, u32 id) { return CSL_GS_GuiTopLevelWindow::OnCommand(s, id); }
bool CMyMicRecorderDialog::OnNotify(CSL_GS_GuiWindow* s, u32 c) { return CSL_GS_GuiWindow::OnNotify(s, c); }
bool CMyMicRecorderDialog::OnEvent(CSL_GS_GuiBaseEvent* e) { return CSL_GS_GuiWindow::OnEvent(e); }
void CMyMicRecorderDialog::OnClose() {}
void CMyMicRecorderDialog::OnDestroy() { CSL_GS_GuiTopLevelWindow::OnDestroy(); }
void CMyMicRecorderDialog::OnTimer(u32 id) { CSL_GS_GuiTopLevelWindow::OnTimer(id); }
CMyMicRecorderDialog* MicRecorderDialog_Show(void*) { return nullptr; }
