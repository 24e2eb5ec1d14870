// The window styles the program's screens and dialogs give their windows, in the toolkit's
// names: the dialogs are framed, captioned and movable and close from their box; controls
// are visible children, and those the keyboard reaches are tab stops.
#pragma once

#include "gui/SLGuiButton.h"
#include "gui/SLGuiEdit.h"
#include "gui/SLGuiLabel.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "gui/SLGuiWindow.h"

constexpr u32 APP_STYLE_DIALOG = u32(SL_GUI_WS_VISIBLE) | SL_GUI_TLS_CAPTION | SL_GUI_TLS_CLOSEBOX | SL_GUI_TLS_MOVABLE;
// Frames and scroll bars.
constexpr u32 APP_STYLE_CHILD = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE;
constexpr u32 APP_STYLE_TAB_CHILD = APP_STYLE_CHILD | SL_GUI_WS_TABSTOP;
constexpr u32 APP_STYLE_LABEL = APP_STYLE_CHILD | SL_GUI_LS_TEXT_ONLY;
constexpr u32 APP_STYLE_ICON_LABEL = APP_STYLE_CHILD | SL_GUI_LS_IMAGE | SL_GUI_LS_TEXT_ONLY;
// Push buttons with a caption, out of the tab order and in it.
constexpr u32 APP_STYLE_TEXT_BUTTON = APP_STYLE_CHILD | SL_GUI_BS_IMAGE_AND_TEXT;
constexpr u32 APP_STYLE_TAB_BUTTON = APP_STYLE_TAB_CHILD | SL_GUI_BS_IMAGE_AND_TEXT;
// Buttons that are only their state's picture.
constexpr u32 APP_STYLE_PICTURE_BUTTON = APP_STYLE_CHILD | SL_GUI_BS_IMAGE;
constexpr u32 APP_STYLE_TAB_PICTURE_BUTTON = APP_STYLE_TAB_CHILD | SL_GUI_BS_IMAGE;
// The screens' picture buttons are top-level windows of their own, shown or hidden.
constexpr u32 APP_STYLE_SCREEN_BUTTON = u32(SL_GUI_WS_VISIBLE) | SL_GUI_BS_IMAGE;
constexpr u32 APP_STYLE_SCREEN_BUTTON_HIDDEN = SL_GUI_BS_IMAGE;
constexpr u32 APP_STYLE_TEXT_EDIT = APP_STYLE_TAB_CHILD | SL_GUI_ES_MULTILINE | SL_GUI_ES_WORDWRAP;
