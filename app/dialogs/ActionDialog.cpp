#include "app/dialogs/ActionDialog.h"

#include <cstring>

#include "adventure/catalog/CharacterCatalog.h"
#include "adventure/movie/Movie.h"
#include "adventure/movie/SceneRender.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/services/CommonResources.h"
#include "app/services/ModalStack.h"
#include "app/dialogs/MsgBox.h"
#include "app/services/AppStyles.h"
#include "foundation/SLClassWalk.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLStr.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiScrollBar.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGameChoosePersonajeAccionDialog, CSL_GS_GuiTopLevelWindow)

namespace {

constexpr u32 kDialogId = 1012, kFirstButton = 101, kButtons = 8, kBarId = 1001, kPerRow = 4;
constexpr i32 kWindowFatal = -1901;
constexpr i32 kPreviewWidth = 90, kPreviewHeight = 60;

ActionChosenFunction g_onChosen = nullptr;

// The thin-lettered button of the application's pickers when it is registered, else the
// toolkit's push button (found by name, so that this file needs no link to it).
const SLClassRecord* ItemButtonClass() {
  const SLClassRecord* button = CSL_GS_GuiButton::GetClassRecord();
  return SLFindDerivedClassByName(button, "CMyThinLetterButton", button);
}

CSL_GS_GuiWindow* Create(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id,
                         CSL_GS_GuiWindow* parent) {
  return App_CreateWindowOrFatal(record, text, x, y, w, h, style, id, parent, kWindowFatal);
}

u32 ScrollPosition(CSL_GS_GuiWindow* dialog) {
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(App_GuiManager().FindChildById(dialog, kBarId));
  return bar ? bar->GetPosition() : 0;
}

// The preview of one action: its current frame facing front (or the nearest direction it
// has), shrunk to fit 90 x 60 keeping its proportions, sized after its first frame.
void ShowPreview(CSL_GS_GuiButton* button, const CharacterAction* action) {
  CSL_GS_BaseGfx* gfx = App_Services().gfx;
  const u32 direction = CharacterAction_PickDirection(action, 0);
  const u32 t = action->duration ? App_TickCount() % action->duration : 0;
  SL_GS_Image* picture = CharacterAction_FrameAt(action, direction, t, false);
  SL_GS_Image* first = CharacterAction_FrameAt(action, direction, 0, false);
  if (picture == ActionFrameOver()) picture = first;
  if (!picture || picture == ActionFrameOver() || !first || first == ActionFrameOver()) {
    button->SetNormalImage(nullptr);
    return;
  }
  SL_GS_ImageInfo info{};
  if (!gfx || !gfx->GetImageInfo(first, &info) || info.width == 0 || info.height == 0) return;
  i32 width = i32(info.width), height = i32(info.height);
  if (width > kPreviewWidth || height > kPreviewHeight) {
    const i32 w = width, h = height;
    height = kPreviewHeight, width = w * kPreviewHeight / h;
    if (width > kPreviewWidth) width = kPreviewWidth, height = h * kPreviewWidth / w;
  }
  SL_GS_DrawImageOptions options{};
  options.flags = SL_GS_DRAW_SCALE | SL_GS_DRAW_ANCHOR;
  options.scaleX = double(width) / double(info.width);
  options.scaleY = double(height) / double(info.height);
  options.anchorX = options.anchorY = 0;
  button->SetNormalImage(picture, &options);
}

void FillButtons(CMyGameChoosePersonajeAccionDialog* dialog) {
  const u32 first = ScrollPosition(dialog) * kPerRow;
  for (u32 slot = 0; slot < kButtons; ++slot) {
    auto* button = static_cast<CSL_GS_GuiButton*>(App_GuiManager().FindChildById(dialog, kFirstButton + slot));
    if (!button) continue;
    const u32 index = first + slot;
    if (index >= dialog->actions.GetCount()) {
      button->Show(false);
      continue;
    }
    CharacterAction* action = dialog->actions[index];
    button->SetText(action->name.CStr());
    ShowPreview(button, action);
    button->Show(true);
  }
}

// Closes the dialog without a choice: the one path of "&Cancelar", Escape, the close
// button and the answer to the message about no actions.
void Dismiss(CSL_GS_GuiWindow* dialog) {
  dialog->GetManager()->DestroyWindow(dialog);
  ModalStack_End();
}

// The message about no actions was answered: the dialog under it closes as Cancel.
void OnNoActionsAnswered(u32, std::uintptr_t) {
  CSL_GS_GuiManager& manager = App_GuiManager();
  for (CSL_GS_GuiWindow* w = manager.GetFirstChild(nullptr); w; w = manager.GetNextSibling(w))
    if (w->GetId() == kDialogId && w->IsKindOf(CMyGameChoosePersonajeAccionDialog::GetClassRecord())) {
      w->OnCommand(w, 2);
      return;
    }
}

}  // namespace

void ChoosePersonajeAccionDialog_SetContinuation(ActionChosenFunction onChosen) { g_onChosen = onChosen; }

void ChoosePersonajeAccionDialog_Show(CharacterInstance* placed, i32 preselected) {
  ModalStack_Begin(0);
  CSL_GS_GuiManager& manager = App_GuiManager();
  auto* dialog = static_cast<CMyGameChoosePersonajeAccionDialog*>(
      Create(CMyGameChoosePersonajeAccionDialog::GetClassRecord(), "Elije una acci\xf3n", 0, 0, 100, 100, APP_STYLE_DIALOG,
             kDialogId, nullptr));
  if (!manager.SetTimer(dialog, 1, 10)) App_Fatal(kWindowFatal, "Insuficiente memoria");

  CharacterRecord* record =
      placed && placed->character >= 0 ? CharacterCatalog_GetAt(u32(placed->character)) : nullptr;
  dialog->character = record;
  const u32 frame = placed && placed->scene ? placed->scene->currentFrame : 0;
  const i32 stateIndex = placed ? CharacterInstance_StateAtFrame(placed, frame) : -1;
  CharacterState* state = record && stateIndex >= 0 ? CharacterRecord_GetStateAt(record, u32(stateIndex)) : nullptr;
  const u32 count = record ? CatalogRecord_GetListEntryCount(record) : 0;
  for (u32 a = 0; a < count; ++a) {
    CharacterAction* action = CatalogRecord_GetListEntryAt(record, a);
    if (!action || !action->visible) continue;
    // An action tied to a state is offered only in that state (never before the
    // character's first frame, when it is in none).
    if (!action->availableInState.IsEmpty() && (!state || SLStrICmpA(action->availableInState.CStr(), state->name.CStr()) != 0))
      continue;
    if (i32(a) == preselected) {
      Dismiss(dialog);
      if (g_onChosen) g_onChosen(action, 0);
      return;
    }
    if (!dialog->actions.Add(action)) App_Fatal(kWindowFatal, "Insuficiente memoria");
  }
  if (preselected != -1) return Dismiss(dialog);

  const SLClassRecord* buttonClass = ItemButtonClass();
  for (u32 i = 0; i < kButtons; ++i) {
    auto* button = static_cast<CSL_GS_GuiButton*>(Create(buttonClass, "", i32(i % kPerRow) * 125 + 5,
                                                         i32(i / kPerRow) * 105 + 5, 120, 100, APP_STYLE_TEXT_BUTTON,
                                                         kFirstButton + i, dialog));
    button->SetTextFormat(6);
    button->SetImageAlignment(2);
  }
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(
      Create(CSL_GS_GuiVScrollBar::GetClassRecord(), "", 505, 5, 20, 205, APP_STYLE_CHILD, kBarId, dialog));
  const u32 offered = dialog->actions.GetCount();
  if (offered <= kButtons) {
    bar->Enable(false);
  } else {
    bar->SetRange((offered - 1) / kPerRow - 1);
  }
  Create(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 445, 215, 80, 30, APP_STYLE_TEXT_BUTTON, 2, dialog);
  dialog->onChosen = g_onChosen;
  dialog->user = 0;
  FillButtons(dialog);
  dialog->SetClientSize(530, 250);
  const SLGuiRect& rect = dialog->GetWindowRect();
  dialog->Move((664 - rect.width) / 2 + 108, (372 - rect.height) / 2 + 148);

  if (offered == 0) {
    MsgBox_ShowWithCallback(0, 3, OnNoActionsAnswered, 0,
                            "No hay acciones disponibles para ejecutar en el estado actual del personaje seleccionado.",
                            "Elije una acci\xf3n", 1013, AppCommonPictures[APP_PICTURE_INFORMATION], dialog);
  } else {
    manager.SetFocus(manager.FindChildById(dialog, kFirstButton));
  }
}

CMyGameChoosePersonajeAccionDialog::~CMyGameChoosePersonajeAccionDialog() { actions.Free(); }

bool CMyGameChoosePersonajeAccionDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  if (id >= kFirstButton && id < kFirstButton + kButtons) {
    const u32 index = (id - kFirstButton) + ScrollPosition(this) * kPerRow;
    if (index >= actions.GetCount()) return SLSucceed(true);
    CharacterAction* action = actions[index];
    const ActionChosenFunction chosen = onChosen;
    const u32 chosenUser = user;
    Dismiss(this);
    // `this` is gone from here on.
    if (chosen) chosen(action, chosenUser);
    return SLSucceed(true);
  }
  if (id == 2) {
    Dismiss(this);
    return SLSucceed(true);
  }
  return CSL_GS_GuiWindow::OnCommand(source, id);
}

void CMyGameChoosePersonajeAccionDialog::OnClose() { OnCommand(this, 2); }

void CMyGameChoosePersonajeAccionDialog::OnTimer(u32 id) {
  if (id != 1) return CSL_GS_GuiTopLevelWindow::OnTimer(id);
  FillButtons(this);
}
