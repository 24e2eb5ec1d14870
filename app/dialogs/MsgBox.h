// The program's message box: a skinned dialog with an optional icon, its text broken into
// lines to fit, and one to three buttons chosen by its style. It never blocks: the show
// function returns at once, and the answer comes back one logic tick after the click as
// a deferred call of the completion stored in the box.
#pragma once

#include <cstdint>

#include "app/services/AppEvents.h"
#include "gui/SLGuiTopLevelWindow.h"

struct SL_GS_Image;

// Answers, which are also the buttons' window ids.
enum : u32 {
  MSGBOX_ACCEPT = 1,
  MSGBOX_CANCEL = 2,
  MSGBOX_YES = 3,
  MSGBOX_NO = 4,
  MSGBOX_RETRY = 5,
  MSGBOX_IGNORE = 6,
  MSGBOX_ABORT = 7,
};

// Window ids of the icon label and of the first text line (the others follow it).
constexpr u32 MSGBOX_ICON_ID = 101;
constexpr u32 MSGBOX_FIRST_LINE_ID = 111;

class CMyMsgBoxDialog : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(CMyMsgBoxDialog)
 public:
  CMyMsgBoxDialog() = default;
  ~CMyMsgBoxDialog() override = default;

  // Ids 1 to 7 close the box and post the answer; other ids go the usual way.
  bool OnCommand(CSL_GS_GuiWindow* source, u32 id) override;
  // A close request answers with the style's close answer.
  void OnClose() override;

  void SetCompletion(AppDeferredFunction completion, std::uintptr_t argument, u32 style) {
    m_completion = completion;
    m_argument = argument;
    m_style = style;
  }
  u32 GetBoxStyle() const { return m_style; }

 private:
  AppDeferredFunction m_completion = nullptr;
  std::uintptr_t m_argument = 0;
  u32 m_style = 0;
};

// The answer a close request gives for each style (0 outside 1..6).
u32 MsgBox_CloseAnswer(u32 style);

// Builds and shows the box; null on failure (0x80001001 for a style outside 1..6,
// 0x80010002 without a graphics device, else the failing step's code). Begins no modal
// level and sets no completion.
CMyMsgBoxDialog* MsgBox_Show(const char* title, const char* text, u32 style, u32 windowId, SL_GS_Image* icon,
                             CSL_GS_GuiWindow* parent);
// The form every caller uses: a modal level, the box (failure: fatal -401), then its
// completion, argument and style.
CMyMsgBoxDialog* MsgBox_ShowWithCallback(u32 disableCloseButton, u32 style, AppDeferredFunction completion,
                                         std::uintptr_t argument, const char* text, const char* title,
                                         u32 windowId, SL_GS_Image* icon, CSL_GS_GuiWindow* parent);
