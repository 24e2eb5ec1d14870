// The start-up dialog and the project chooser.
#include "app/dialogs/ProjectDialogs.h"

#include <cstring>

#include "app/services/AppEvents.h"
#include "app/services/AppGlobals.h"
#include "app/services/AppServices.h"
#include "app/services/CMyGuiManager.h"
#include "app/media/CMyVIS_arVI.h"
#include "app/services/ModalStack.h"
#include "app/project/ProjectFile.h"
#include "app/services/AppStyles.h"
#include "app/services/FatalCodes.h"
#include "foundation/SLMemory.h"
#include "foundation/SLPrintf.h"
#include "foundation/SLWideText.h"
#include "gamesystem/SLBaseGfx.h"
#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiFrame.h"
#include "gui/SLGuiScrollBar.h"
#include "storage/SLFastFileStorage.h"
#include "storage/SLFileStorage.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGameStartUpDialog, CSL_GS_GuiTopLevelWindow)
SL_IMPLEMENT_CLASS_CREATABLE(CMyGameChooseProjectFileDialog, CSL_GS_GuiTopLevelWindow)

namespace {

constexpr u32 kDialogStyle = APP_STYLE_DIALOG;
constexpr u32 kControlStyle = APP_STYLE_TEXT_BUTTON;
constexpr u32 kTabStop = SL_GUI_WS_TABSTOP, kDisabled = SL_GUI_WS_DISABLED;
constexpr u32 kStartUpGroup = 1003, kProgramGroup = 1;

// Places a dialog centred on the stage (664 x 372 at 108, 148), halves truncated.
void CentreOnStage(CSL_GS_GuiWindow* dialog) {
  const SLGuiRect& rect = dialog->GetWindowRect();
  dialog->Move((664 - rect.width) / 2 + 108, (372 - rect.height) / 2 + 148);
}

CSL_GS_GuiWindow* Control(const SLClassRecord* record, const char* text, i32 x, i32 y, i32 w, i32 h, u32 style, u32 id,
                          CSL_GS_GuiWindow* parent, i32 fatalCode) {
  return App_CreateWindowOrFatal(record, text, x, y, w, h, style, id, parent, fatalCode);
}

// --- Start-up dialog -------------------------------------------------------------------

constexpr i32 kStartUpFatal = -1102;
const char* const kStartUpIcons[4] = {"nuevo", "abrir", "reproducir", "exportar"};
const char* const kStartUpCaptions[4] = {"&Empieza un nuevo proyecto", "&Abre un proyecto existente",
                                         "&Visualizar un proyecto", "&Exportar un proyecto"};

}  // namespace

bool StartUpDialog_Show() {
  ModalStack_Begin(0);
  AppServices& services = App_Services();
  CSL_GS_BaseGfx* gfx = services.gfx;
  // The eight pictures go into a group of their own, destroyed with it when the dialog closes.
  if (!gfx->SetImageGroup(kStartUpGroup)) App_Fatal(APP_FATAL_STARTUP_DIALOG_GROUP, "No puedo cargar im\xe1genes");
  SL_GS_Image* pictures[8];
  for (u32 i = 0; i < 8; ++i) {
    char name[2048];
    SLSnprintfA(name, sizeof name, "Interface/Di\xe1logo Inicial/Iconos/%s_%s%s.mximg", kStartUpIcons[i / 2],
                i % 2 ? "over" : "normal", "");
    pictures[i] = App_LoadInterfacePicture(name);
    if (!pictures[i]) App_Fatal(APP_FATAL_STARTUP_DIALOG_PICTURES, "No puedo cargar im\xe1genes");
  }
  if (!gfx->SetImageGroup(kProgramGroup)) App_Fatal(APP_FATAL_STARTUP_DIALOG_GROUP, "No puedo cargar im\xe1genes");

  CSL_GS_GuiWindow* dialog = Control(CMyGameStartUpDialog::GetClassRecord(), "\xbfQu\xe9 deseas hacer?", 0, 0, 100, 100,
                                     kDialogStyle, 1003, nullptr, kStartUpFatal);
  for (u32 i = 0; i < 4; ++i) {
    auto* button = static_cast<CSL_GS_GuiButton*>(Control(CSL_GS_GuiButton::GetClassRecord(), kStartUpCaptions[i],
                                                          i % 2 ? 220 : 10, i / 2 ? 160 : 10, 200, 140, kControlStyle,
                                                          101 + i, dialog, kStartUpFatal));
    button->SetNormalImage(pictures[2 * i]);
    button->SetOverImage(pictures[2 * i + 1]);
    button->SetImageAlignment(26);
  }
  Control(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 340, 310, 80, 30, kControlStyle, 2, dialog, kStartUpFatal);
  dialog->SetClientSize(430, 350);
  return dialog->CenterOnWindow(nullptr);
}

bool CMyGameStartUpDialog::OnCommand(CSL_GS_GuiWindow*, u32 id) {
  if (id != 2 && (id < 101 || id > 104)) return SLSucceed(false);
  AppEventQueue_PostEvent(APP_EVENT_STARTUP_ANSWER, id);
  App_Services().gfx->DestroyImagesOfGroup(kStartUpGroup);
  GetManager()->DestroyWindow(this);
  // `this` may be gone from here on.
  ModalStack_End();
  return SLSucceed(true);
}

void CMyGameStartUpDialog::OnClose() { OnCommand(this, 2); }

// --- Project chooser -------------------------------------------------------------------

namespace {

constexpr i32 kChooserFatal = -1211;
constexpr u32 kRows = 6, kFirstRow = 101, kFrameId = 1002, kBarId = 1001, kAcceptId = 1;

const char* ChooserTitle(u32 mode) {
  if (mode == 3) return "Selecciona la pel\xed" "cula que vas a visualizar";
  if (mode == 4) return "Selecciona la pel\xed" "cula que vas a exportar";
  return "Selecciona la pel\xed" "cula que vas a abrir";
}

u32 ScrollPosition(CMyGameChooseProjectFileDialog* dialog) {
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(App_GuiManager().FindChildById(dialog, kBarId));
  return bar ? bar->GetPosition() : 0;
}

// Puts the selection frame around a row (its rectangle moved 4 pixels up and left).
void FrameRow(CMyGameChooseProjectFileDialog* dialog, CSL_GS_GuiWindow* row) {
  CSL_GS_GuiWindow* frame = App_GuiManager().FindChildById(dialog, kFrameId);
  if (!frame || !row) return;
  const SLGuiRect& rect = row->GetWindowRect();
  frame->Move(rect.x - 4, rect.y - 4);
  frame->Show(true);
}

// Every saved project whose file starts with the project magic, in listing order.
void ListProjects(CMyGameChooseProjectFileDialog* dialog) {
  char pattern[4096];
  SLSnprintfA(pattern, sizeof pattern, "%s%sAventuras Guardadas\\*.ZQTR", App_ProgramDirectory(), "");
  CSLFileStorage finder;
  for (SLStorageFindRecord* entry = finder.FindFirstA(pattern); entry; entry = finder.FindNextA()) {
    if (entry->flags & SL_FIND_DIRECTORY) continue;
    // The bare name: without folder and without extension.
    const char* name = entry->nameA;
    for (const char* p = name; *p; ++p)
      if (*p == '\\' || *p == '/') name = p + 1;
    u32 length = SLTextLength(name);
    for (u32 i = length; i-- > 0;)
      if (name[i] == '.') {
        length = i;
        break;
      }
    char* copy = SLDuplicateText(name, length);
    if (!copy) App_Fatal(kChooserFatal, "Insuficiente memoria");
    if (!ProjectFile_IsValid(copy)) {
      SLFree(copy);
      continue;
    }
    if (!dialog->files.Add(copy)) App_Fatal(kChooserFatal, "Insuficiente memoria");
    dialog->fileCount = dialog->files.GetCount();
  }
}

}  // namespace

void ChooseProjectFileDialog_Show(u32 mode) {
  ModalStack_Begin(0);
  CSL_GS_GuiManager& manager = App_GuiManager();
  auto* dialog = static_cast<CMyGameChooseProjectFileDialog*>(Control(CMyGameChooseProjectFileDialog::GetClassRecord(),
                                                                      ChooserTitle(mode), 0, 0, 100, 100, kDialogStyle,
                                                                      1025, nullptr, kChooserFatal));
  dialog->selected = 0xFFFFFFFF;
  dialog->mode = mode;
  if (!manager.SetTimer(dialog, 1, 250)) App_Fatal(kChooserFatal, "Insuficiente memoria");
  Control(CSL_GS_GuiFrame::GetClassRecord(), "", 20, 26, 508, 28, APP_STYLE_CHILD, kFrameId, dialog, kChooserFatal)
      ->Show(false);
  for (u32 i = 0; i < kRows; ++i)
    Control(CSL_GS_GuiButton::GetClassRecord(), "", 5, 5 + 25 * i32(i), 505, 20, kControlStyle | kTabStop,
            kFirstRow + i, dialog, kChooserFatal);
  auto* bar = static_cast<CSL_GS_GuiScrollBarBase*>(Control(CSL_GS_GuiVScrollBar::GetClassRecord(), "", 515, 5, 20,
                                                            145, APP_STYLE_TAB_CHILD, kBarId, dialog, kChooserFatal));
  Control(CSL_GS_GuiButton::GetClassRecord(), "&Aceptar", 355, 155, 80, 30, kControlStyle | kTabStop | kDisabled,
          kAcceptId, dialog, kChooserFatal);
  CSL_GS_GuiWindow* cancel = Control(CSL_GS_GuiButton::GetClassRecord(), "&Cancelar", 455, 155, 80, 30,
                                     kControlStyle | kTabStop, 2, dialog, kChooserFatal);

  ListProjects(dialog);
  dialog->selected = 0xFFFFFFFF;
  if (dialog->fileCount <= kRows) {
    bar->SetRange(0);
    bar->Enable(false);
  } else {
    bar->SetRange(dialog->fileCount - kRows);
    bar->SetPosition(0);
    bar->Enable(true);
  }
  ChooseProjectFileDialog_FillList(bar);
  dialog->SetClientSize(540, 190);
  CentreOnStage(dialog);
  manager.SetFocus(dialog->fileCount > 0 ? manager.FindChildById(dialog, kFirstRow) : cancel);
}

void ChooseProjectFileDialog_FillList(CSL_GS_GuiWindow* scrollBar) {
  if (!scrollBar || scrollBar->GetId() != kBarId) return;
  auto* dialog = static_cast<CMyGameChooseProjectFileDialog*>(App_GuiManager().GetOwnerOrParent(scrollBar));
  if (!dialog || !dialog->IsKindOf(CMyGameChooseProjectFileDialog::GetClassRecord())) return;
  const u32 first = static_cast<CSL_GS_GuiScrollBarBase*>(scrollBar)->GetPosition();
  bool framed = false;
  for (u32 i = 0; i < kRows; ++i) {
    CSL_GS_GuiWindow* row = App_GuiManager().FindChildById(dialog, kFirstRow + i);
    if (!row) continue;
    const u32 index = first + i;
    if (index >= dialog->fileCount) {
      row->Show(false);
      continue;
    }
    row->SetText(dialog->files[index]);
    row->Show(true);
    if (index == dialog->selected) {
      FrameRow(dialog, row);
      framed = true;
    }
  }
  if (!framed)
    if (CSL_GS_GuiWindow* frame = App_GuiManager().FindChildById(dialog, kFrameId)) frame->Show(false);
}

CMyGameChooseProjectFileDialog::~CMyGameChooseProjectFileDialog() { files.FreeAll(); }

bool CMyGameChooseProjectFileDialog::OnCommand(CSL_GS_GuiWindow* source, u32 id) {
  if (id >= kFirstRow && id < kFirstRow + kRows) {
    FrameRow(this, App_GuiManager().FindChildById(this, id));
    selected = ScrollPosition(this) + (id - kFirstRow);
    if (CSL_GS_GuiWindow* accept = App_GuiManager().FindChildById(this, kAcceptId)) accept->Enable(true);
    return SLSucceed(true);
  }
  if (id == kAcceptId) {
    if (selected == 0xFFFFFFFF || selected >= fileCount) return SLSucceed(true);
    // What the result needs, before the dialog (which owns the names) goes.
    char name[4096];
    SLSnprintfA(name, sizeof name, "%s", files[selected]);
    const u32 chosenMode = mode;
    GetManager()->DestroyWindow(this);
    ModalStack_End();
    const u32 loaded = ProjectFile_Load(name);
    AppEventQueue_PostEvent(loaded ? APP_EVENT_PROJECT_LOADED : APP_EVENT_PROJECT_LOAD_FAILED, chosenMode);
    return SLSucceed(true);
  }
  if (id == 2) {
    const u32 chosenMode = mode;
    GetManager()->DestroyWindow(this);
    ModalStack_End();
    AppEventQueue_PostEvent(APP_EVENT_PROJECT_CANCELLED, chosenMode);
    return SLSucceed(true);
  }
  return CSL_GS_GuiWindow::OnCommand(source, id);
}

void CMyGameChooseProjectFileDialog::OnClose() { OnCommand(this, 2); }
void CMyGameChooseProjectFileDialog::OnTimer(u32 id) {
  if (id != 1) return CSL_GS_GuiTopLevelWindow::OnTimer(id);
  const u32 first = ScrollPosition(this);
  const bool inView = fileCount > 0 && selected != 0xFFFFFFFF && first <= selected && selected <= first + kRows - 1;
  CSL_GS_GuiWindow* frame = App_GuiManager().FindChildById(this, kFrameId);
  if (!frame) return;
  frame->Show(inView && !frame->IsVisibleInTree());
}

bool CMyGameChooseProjectFileDialog::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32 newPosition, i32 oldPosition) {
  if (source && source->GetId() == kBarId) {
    ChooseProjectFileDialog_FillList(source);
    return SLSucceed(true);
  }
  return CSL_GS_GuiTopLevelWindow::OnVScroll(source, code, newPosition, oldPosition);
}
