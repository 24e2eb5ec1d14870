#include "app/dialogs/MsgBox.h"

#include <algorithm>
#include <cstring>

#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBoxLayout.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLClassWalk.h"
#include "foundation/SLError.h"
#include "gamesystem/SLBaseGfx.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiLabel.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyMsgBoxDialog, CSL_GS_GuiTopLevelWindow)

namespace {

constexpr u32 kBoxStyle = APP_STYLE_DIALOG;
constexpr u32 kButtonStyle = APP_STYLE_TAB_CHILD;
constexpr u32 kIconStyle = APP_STYLE_ICON_LABEL;
constexpr u32 kLineStyle = APP_STYLE_LABEL;

struct StyleButtons {
  u32 count;
  u32 answers[3];
  u32 closeAnswer;
};
const StyleButtons kStyles[6] = {
    {1, {MSGBOX_ACCEPT}, MSGBOX_ACCEPT},
    {2, {MSGBOX_ACCEPT, MSGBOX_CANCEL}, MSGBOX_CANCEL},
    {2, {MSGBOX_YES, MSGBOX_NO}, MSGBOX_NO},
    {3, {MSGBOX_YES, MSGBOX_NO, MSGBOX_CANCEL}, MSGBOX_CANCEL},
    {2, {MSGBOX_RETRY, MSGBOX_ABORT}, MSGBOX_ABORT},
    {3, {MSGBOX_RETRY, MSGBOX_IGNORE, MSGBOX_ABORT}, MSGBOX_ABORT},
};

const char* CaptionOf(u32 answer) {
  static const char* const kCaptions[8] = {"",         "&Aceptar", "&Cancelar", "&Si",
                                           "&No",      "&Reintentar", "&Ignorar", "A&bortar"};
  return answer < 8 ? kCaptions[answer] : "";
}

// The toolkit's static label, found by name so that the box needs no link to the widget.
const SLClassRecord* LabelClass() {
  const SLClassRecord* window = CSL_GS_GuiWindow::GetClassRecord();
  return SLFindDerivedClassByName(window, "CSL_GS_GuiLabel", window);
}

struct TextFont {
  CSL_GS_GuiManager* manager;
  CSL_GS_GuiWindow* window;
  SL_GS_Font* font;
  SLGuiSkinColor color;
  bool hasStyle;
  TSLArray<char> scratch;
};

bool ReadTextStyle(CSL_GS_GuiWindow* window, TextFont* out) {
  out->window = window;
  out->font = nullptr;
  out->color = SLGuiSkinColor{};
  out->hasStyle = window->GetTextStyle(window, 0, &out->font, &out->color);
  return true;
}

i32 Measure(void* context, const char* text, u32 length) {
  auto* f = static_cast<TextFont*>(context);
  if (!f->scratch.SetSize(length + 1)) return 0;
  std::memcpy(f->scratch.GetData(), text, length);
  f->scratch[length] = 0;
  i32 width = 0;
  f->manager->MeasureText(f->font, f->scratch.GetData(), &width, nullptr, f->hasStyle ? &f->color : nullptr);
  return width;
}

i32 LineHeight(TextFont* f) {
  i32 height = 0;
  f->manager->MeasureText(f->font, "Ag", nullptr, &height, f->hasStyle ? &f->color : nullptr);
  return height;
}

// Creation failure: the box goes, and the failing step's code stays.
CMyMsgBoxDialog* Abandon(CSL_GS_GuiManager* manager, CMyMsgBoxDialog* box) {
  const u32 code = SLGetLastError();
  manager->DestroyWindow(box);
  SLSetLastError(code ? code : SL_E_OUT_OF_MEMORY);
  return nullptr;
}

}  // namespace

u32 MsgBox_CloseAnswer(u32 style) { return style >= 1 && style <= 6 ? kStyles[style - 1].closeAnswer : 0; }

CMyMsgBoxDialog* MsgBox_Show(const char* title, const char* text, u32 style, u32 windowId, SL_GS_Image* icon,
                             CSL_GS_GuiWindow* parent) {
  if (style < 1 || style > 6) return SLFail(SL_E_INVALID_ARG, (CMyMsgBoxDialog*)nullptr);
  CSL_GS_GuiManager* manager = &App_GuiManager();
  CSL_GS_BaseGfx* gfx = manager->GetGfx();
  if (!gfx) return SLFail(SL_E_NOT_INITIALISED, (CMyMsgBoxDialog*)nullptr);
  if (!title) title = "";
  if (!text) text = "";
  auto* box = static_cast<CMyMsgBoxDialog*>(manager->CreateWindow(CMyMsgBoxDialog::GetClassRecord(), title, 0, 0, 100,
                                                                  100, kBoxStyle, AppSkin, windowId, parent));
  if (!box) return nullptr;

  // Buttons, and the size they share.
  const StyleButtons& set = kStyles[style - 1];
  CSL_GS_GuiWindow* buttons[3] = {};
  i32 maxW = 0, maxH = 0;
  for (u32 i = 0; i < set.count; ++i) {
    buttons[i] = manager->CreateWindow(CSL_GS_GuiButton::GetClassRecord(), CaptionOf(set.answers[i]), 80, 40, 60, 24,
                                       kButtonStyle, AppSkin, set.answers[i], box);
    if (!buttons[i]) return Abandon(manager, box);
    TextFont f{manager, nullptr, nullptr, {}, false, {}};
    ReadTextStyle(buttons[i], &f);
    i32 w = 0, h = 0;
    manager->MeasureText(f.font, CaptionOf(set.answers[i]), &w, nullptr, f.hasStyle ? &f.color : nullptr);
    h = LineHeight(&f);
    maxW = std::max(maxW, w);
    maxH = std::max(maxH, h);
  }
  const MsgBoxButtonSize buttonSize = MsgBox_ButtonSize(maxW, maxH);

  // Icon.
  const SLClassRecord* labelClass = LabelClass();
  i32 iconW = 0, iconH = 0;
  CSL_GS_GuiWindow* iconLabel = nullptr;
  if (icon) {
    SL_GS_ImageInfo info{};
    if (!gfx->GetImageInfo(icon, &info)) return Abandon(manager, box);
    iconW = i32(info.width);
    iconH = i32(info.height);
    iconLabel = manager->CreateWindow(labelClass, "", 80, 40, iconW, iconH, kIconStyle, AppSkin, MSGBOX_ICON_ID, box);
    // The picture is the label's normal image, which a picture label draws (a window's
    // icon is its caption's, which a label has not).
    if (!iconLabel || !iconLabel->IsKindOf(CSL_GS_GuiLabel::GetClassRecord()) ||
        !static_cast<CSL_GS_GuiLabel*>(iconLabel)->SetImage(icon))
      return Abandon(manager, box);
  }

  // Lines: the first label measures for all of them.
  CSL_GS_GuiWindow* first =
      manager->CreateWindow(labelClass, text, 80, 40, iconW, iconH, kLineStyle, AppSkin, MSGBOX_FIRST_LINE_ID, box);
  if (!first) return Abandon(manager, box);
  TextFont f{manager, nullptr, nullptr, {}, false, {}};
  ReadTextStyle(first, &f);
  const i32 lineHeight = LineHeight(&f);
  const i32 limit = MsgBox_WidthLimit(i32(gfx->GetWidth()), icon ? iconW : 0);
  TSLArray<MsgBoxLine> lines;
  const u32 length = u32(std::strlen(text));
  if (!MsgBox_BreakLines(text, length, limit, MsgBoxMeasure{&Measure, &f}, &lines)) return Abandon(manager, box);

  TSLArray<CSL_GS_GuiWindow*> labels;
  i32 textWidth = 0;
  for (u32 i = 0; i < lines.GetCount(); ++i) {
    CSL_GS_GuiWindow* label = first;
    if (i > 0) {
      label = manager->CreateWindow(labelClass, text, 80, 40, iconW, iconH, kLineStyle, AppSkin,
                                    MSGBOX_FIRST_LINE_ID + i, box);
      if (!label) return Abandon(manager, box);
    }
    if (!f.scratch.SetSize(lines[i].length + 1)) return Abandon(manager, box);
    std::memcpy(f.scratch.GetData(), text + lines[i].start, lines[i].length);
    f.scratch[lines[i].length] = 0;
    if (!label->SetText(f.scratch.GetData()) || !labels.Add(label)) return Abandon(manager, box);
    textWidth = std::max(textWidth, Measure(&f, text + lines[i].start, lines[i].length));
  }

  const MsgBoxLayoutInput input{textWidth, lines.GetCount(), lineHeight, icon != nullptr, iconW, iconH, set.count,
                                buttonSize};
  const MsgBoxLayoutResult layout = MsgBox_Layout(input);
  if (iconLabel && !iconLabel->Move(layout.icon.x, layout.icon.y)) return Abandon(manager, box);
  for (u32 i = 0; i < labels.GetCount(); ++i) {
    const MsgBoxRect r = MsgBox_LineRect(layout, input, i);
    if (!labels[i]->SetRect(r.x, r.y, r.width, r.height) || !labels[i]->SetTextFormat(0)) return Abandon(manager, box);
  }
  for (u32 i = 0; i < set.count; ++i) {
    const MsgBoxRect r = MsgBox_ButtonRect(layout, input, i);
    if (!buttons[i]->SetRect(r.x, r.y, r.width, r.height)) return Abandon(manager, box);
  }
  if (!box->SetClientSize(layout.clientWidth, layout.clientHeight) || !box->CenterOnWindow(nullptr))
    return Abandon(manager, box);
  manager->SetFocus(manager->GetFirstTabStop(box));
  SLSetLastError(SL_OK);
  return box;
}

CMyMsgBoxDialog* MsgBox_ShowWithCallback(u32 disableCloseButton, u32 style, AppDeferredFunction completion,
                                         std::uintptr_t argument, const char* text, const char* title,
                                         u32 windowId, SL_GS_Image* icon, CSL_GS_GuiWindow* parent) {
  ModalStack_Begin(disableCloseButton);
  CMyMsgBoxDialog* box = MsgBox_Show(title, text, style, windowId, icon, parent);
  if (!box) App_Fatal(APP_FATAL_MSGBOX_WINDOW, "Insuficiente memoria");
  box->SetCompletion(completion, argument, style);
  return box;
}

bool CMyMsgBoxDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  if (id < 1 || id > 7) return CSL_GS_GuiWindow::OnCommand(source, id);
  const AppDeferredFunction completion = m_completion;
  const std::uintptr_t argument = m_argument;
  GetManager()->DestroyWindow(this);
  // `this` may be gone from here on.
  ModalStack_End();
  DeferredCall* call = AppEvent_NewDeferredCall(id, completion, argument);
  if (!call) App_Fatal(APP_FATAL_MSGBOX_ANSWER, "Insuficiente memoria");
  AppEventQueue_PostEvent(APP_EVENT_DEFERRED_CALL, reinterpret_cast<std::uintptr_t>(call));
  return SLSucceed(true);
}

void CMyMsgBoxDialog::OnClose() {
  const u32 answer = MsgBox_CloseAnswer(m_style);
  if (answer) OnCommand(this, answer);
}
