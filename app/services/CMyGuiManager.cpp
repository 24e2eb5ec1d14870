#include "app/services/CMyGuiManager.h"

#include <cstring>

#include "app/services/AppEvents.h"
#include "foundation/SLError.h"
#include "gui/SLGuiGrid.h"

SL_IMPLEMENT_CLASS_CREATABLE(CMyGuiManager, CSL_GS_GuiManager)

namespace {

// Sliders are recognised by their base class's name, so that the manager needs no link
// to the widget that defines it.
bool IsSlider(const CSL_GS_GuiWindow* window) {
  for (const SLClassRecord* record = window ? window->GetRuntimeClass() : nullptr; record; record = record->base) {
    if (record->name && std::strcmp(record->name, "CSL_GS_GuiSliderBase") == 0) return true;
  }
  return false;
}

}  // namespace

CMyGuiManager& App_GuiManager() {
  static CMyGuiManager manager;
  return manager;
}

bool CMyGuiManager::OnCommand(CSL_GS_GuiWindow*, u32 id) {
  AppEventQueue_PostEvent(APP_EVENT_COMMAND, id);
  return SLSucceed(true);
}

bool CMyGuiManager::OnEvent(CSL_GS_GuiBaseEvent* event) {
  auto* cell = dynamic_cast<CSL_GS_GuiGridGetCellDataEvent*>(event);
  if (!cell) return SLSucceed(false);
  if (!cell->m_text.Format("%ld, %ld", long(cell->m_row), long(cell->m_column))) return false;
  cell->m_textFormat = CMyGuiManager_GridCellFormat(cell->m_row, cell->m_column);
  return SLSucceed(true);
}

u32 CMyGuiManager_GridCellFormat(u32 row, u32 column) {
  static const u32 kRowFormat[3] = {0, 2, 1};
  static const u32 kColumnFormat[3] = {8, 0, 4};
  return kRowFormat[row % 3] + kColumnFormat[column % 3];
}

void CMyGuiManager_PostSliderMove(CSL_GS_GuiWindow* source, u32 code) {
  if (code < 1 || code > 5 || !IsSlider(source)) return;
  const auto data = reinterpret_cast<std::uintptr_t>(source);
  if (AppEventQueue_Contains(APP_EVENT_SLIDER, data)) return;
  AppEventQueue_PostEvent(APP_EVENT_SLIDER, data);
}

bool CMyGuiManager::OnHScroll(CSL_GS_GuiWindow* source, u32 code, i32, i32) {
  CMyGuiManager_PostSliderMove(source, code);
  return SLSucceed(true);
}

bool CMyGuiManager::OnVScroll(CSL_GS_GuiWindow* source, u32 code, i32, i32) {
  CMyGuiManager_PostSliderMove(source, code);
  return SLSucceed(true);
}
