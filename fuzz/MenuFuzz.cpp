// Random menus and random menu input. The program builds menus (insertions at any index,
// separators, flags above 0x7FFF, breaks, right-aligned items, submenus including cycles
// and second parents), attaches window menus, opens context and window menus and feeds
// ticks of pointer moves, rests, clicks of buttons 1-3, keys, characters and Alt, while
// the notifications close or destroy the menus or their owner as the input says.
// Checked after every step: no popup twice on the stack and each one registered; no
// guard left set; a chosen command belongs to an enabled item that is no separator.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInputDevices.h"
#include "fuzz/FuzzProgram.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiMenuPopup.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "platform/kernel32/Modules.h"

namespace {

constexpr int kMenus = 6;
constexpr u32 kDisabledId = 0x8000;  // ids of disabled items carry this bit; separators have 0

CSL_GS_GuiManager* g_manager;
// Held for the whole input, so that a window destroyed meanwhile keeps its address: a new
// window made at a freed address would otherwise pass the registry check in its place.
TSLObjPtr<CSL_GS_GuiMenuPopup> g_menus[kMenus];
TSLObjPtr<CSL_GS_GuiWindow> g_owner;
SLFuzzProgram* g_input;
int g_depth;
u32 g_nextId = 1;

const u32 kKeys[] = {13, 27, 272, 273, 274, 275, 324, 325, 377, 65, 70, 72};
const char* const kTexts[] = {"&Archivo", "&Editar", "Ay&uda", "&&Sin", "", "&", "Texto largo de menú", "&a&b"};

CSL_GS_GuiMenuPopup* MenuAt(unsigned index) {
  CSL_GS_GuiMenuPopup* m = g_menus[index % kMenus].Get();
  return m && g_manager->IsRegistered(m) ? m : nullptr;
}
CSL_GS_GuiWindow* Owner() {
  CSL_GS_GuiWindow* owner = g_owner.Get();
  return owner && g_manager->IsRegistered(owner) ? owner : nullptr;
}

// What a notification does: nothing, close the menus, destroy a menu or the owner.
void React() {
  if (!g_input || g_depth > 2) return;
  ++g_depth;
  const unsigned what = g_input->Take();
  switch (what % 8) {
    case 1: g_manager->CloseMenus(nullptr); break;
    case 2:
      if (CSL_GS_GuiMenuPopup* m = MenuAt(what >> 3)) g_manager->DestroyWindow(m);
      break;
    case 3:
      if (CSL_GS_GuiWindow* o = Owner()) g_manager->DestroyWindow(o);
      break;
    case 4:
      if (CSL_GS_GuiMenuPopup* m = MenuAt(what >> 3)) g_manager->TrackPopupMenu(m, 50, 50, nullptr, 0);
      break;
    default: break;
  }
  --g_depth;
}

void CheckCommand(u32 id) { SLFuzzCheck(id != 0 && !(id & kDisabledId)); }

class FuzzOwner : public CSL_GS_GuiTopLevelWindow {
  SL_DECLARE_CLASS(FuzzOwner)
 public:
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override { return CheckCommand(id), React(), true; }
  void OnMenuStart(bool) override { React(); }
  void OnMenuEnd(bool) override { React(); }
  void OnInitMenu(CSL_GS_GuiMenuPopup*) override { React(); }
  void OnInitMenuPopup(CSL_GS_GuiMenuPopup*) override { React(); }
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzOwner, CSL_GS_GuiTopLevelWindow)

class FuzzManager : public CSL_GS_GuiManager {
 public:
  bool OnCommand(CSL_GS_GuiWindow*, u32 id) override { return CheckCommand(id), React(), true; }
  void OnMenuStart(bool) override { React(); }
  void OnInitMenu(CSL_GS_GuiMenuPopup*) override { React(); }
  void OnInitMenuPopup(CSL_GS_GuiMenuPopup*) override { React(); }
};

void NewMenu(unsigned slot) {
  g_menus[slot % kMenus].Reset(static_cast<CSL_GS_GuiMenuPopup*>(
      g_manager->CreateWindow(CSL_GS_GuiMenuPopup::GetClassRecord(), "", 0, 0, 0, 0, 0, 0, slot, nullptr)));
}

void CheckState() {
  if (!g_manager->IsInitialised()) return;
  const SLGuiManagerState* s = g_manager->GetState();
  const auto& stack = *s->menuStack;
  for (u32 i = 0; i < stack.GetCount(); ++i) {
    SLFuzzCheck(g_manager->IsRegistered(stack[i].first));
    SLFuzzCheck(i == 0 ? stack[i].second == 0xFFFFFFFF : stack[i].second < i);
    for (u32 k = 0; k < i; ++k) SLFuzzCheck(stack[k].first != stack[i].first);
  }
  SLFuzzCheck(s->trackingMenu == 0 && s->openingMenu == 0 && s->closingMenus == 0 && s->windowMenuRequest == 0);
  if (stack.GetCount() == 0) SLFuzzCheck(s->currentPopup == nullptr);
}


// One manager for the whole run: reading the default skin costs far more than a run. Each
// run starts from no windows and no input state, so that a run's result depends on its
// input only.
FuzzManager* SharedManager() {
  static FuzzManager* manager = [] {
    SLRegisterGuiClasses();
    auto* m = new FuzzManager();
    m->Init();
    m->LoadDefaultSkin();
    return m;
  }();
  return manager;
}

void ResetManager(FuzzManager& manager) {
  manager.CloseMenus(nullptr);
  while (manager.GetWindowCount() > 0) {
    const u32 before = manager.GetWindowCount();
    manager.DestroyWindow((*manager.GetState()->registry)[0].window);
    if (manager.GetWindowCount() >= before) break;
  }
  manager.SetKeyboard(nullptr);
  manager.SetMouse(nullptr);
  SLGuiManagerState* s = manager.GetState();
  for (u8& key : s->keyState) key = 0;
  for (u8& button : s->buttonState) button = 0;
  for (u32& press : s->lastPressTime) press = 0;
  s->button4Down = 0;
  s->nextChar = 0;
  s->menuKeySuppress = 0;
  s->mouseX = s->mouseY = s->previousMouseX = s->previousMouseY = 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLFuzzProgram input{data, size};
  g_input = nullptr;
  std::uint64_t clockMs = 100000;
  SLPlatformSetTestClock(true, clockMs * 1000000u);
  SLFuzzKeyboard keyboard;
  SLFuzzMouse mouse;
  FuzzManager& manager = *SharedManager();
  if (!manager.IsInitialised()) return 0;
  g_manager = &manager;
  g_depth = 0;
  ResetManager(manager);
  manager.SetKeyboard(&keyboard);
  manager.SetMouse(&mouse);
  for (int i = 0; i < kMenus; ++i) NewMenu(unsigned(i));
  g_owner.Reset(manager.CreateWindow(FuzzOwner::GetClassRecord(), "Dueño", 20, 20, 600, 400, 0x2000003F, 0, 0, nullptr));
  g_input = &input;
  for (int steps = 0; input.at < input.size && steps < 400; ++steps) {
    const unsigned op = input.Take();
    const unsigned a = input.Take(), b = input.Take();
    CSL_GS_GuiMenuPopup* menu = MenuAt(a);
    switch (op % 12) {
      case 0:
      case 1: {
        if (!menu) break;
        const u32 flags = b | input.Take() << 8;
        CSL_GS_GuiMenuPopup* sub = (op & 0x80) ? MenuAt(b >> 4) : nullptr;
        const u32 id = (g_nextId++ & 0x7FFF) | ((flags & SL_GUI_MF_DISABLED) ? kDisabledId : 0);
        menu->InsertItem(id ? id : 1, kTexts[(op >> 4) % 8], flags, sub, input.Take() % 12);
        break;
      }
      case 2:
        if (menu) menu->InsertSeparator(b % 12);
        break;
      case 3:
        if (menu) menu->SetItemSubmenu(b % 8, (op & 0x80) ? nullptr : MenuAt(b >> 3));
        break;
      case 4:
        if (CSL_GS_GuiWindow* o = Owner())
          static_cast<CSL_GS_GuiTopLevelWindow*>(o)->SetMenu((op & 0x80) ? nullptr : menu);
        break;
      case 5:
        if (menu) manager.TrackPopupMenu(menu, i32(b * 4) - 100, i32(input.Take() * 3) - 100,
                                         (op & 0x80) ? Owner() : nullptr, op >> 4);
        break;
      case 6:
        manager.TrackOwnerMenu(Owner(), (op & 0x80) ? i32(b * 4) : 0, (op & 0x80) ? 40 : 0, 0);
        break;
      case 7:
        if (op & 0x80) {
          if (menu) manager.DestroyWindow(menu);
          NewMenu(a);
        } else if (!Owner()) {
          g_owner.Reset(manager.CreateWindow(FuzzOwner::GetClassRecord(), "Otro", b, 30, 500, 300, 0x2000003F, 0, 0,
                                             nullptr));
        }
        break;
      default: {
        // One tick of input.
        for (u8& key : keyboard.state) key &= 1;
        for (unsigned n = op % 3; n > 0; --n) {
          const u32 code = kKeys[input.Take() % (sizeof kKeys / sizeof kKeys[0])];
          keyboard.state[code] = u8(((keyboard.state[code] & 1) ^ 1) | 2);
        }
        keyboard.next = (op & 0x10) ? SLWChar(a) : SLWChar(0);
        if (op & 0x20) mouse.x = i32(a * 4) - 100, mouse.y = i32(b * 3) - 100;
        mouse.changed = (op & 0x40) ? input.Take() & 0x7 : 0;
        mouse.buttons ^= mouse.changed;
        clockMs += (op & 0x80) ? 16 : input.Take() * 4;  // rests past 500 ms come up often
        SLPlatformSetTestClock(true, clockMs * 1000000u);
        manager.Update(false);
      }
    }
    if (!manager.IsInitialised()) break;
    CheckState();
  }
  g_input = nullptr;
  ResetManager(manager);
  for (auto& menu : g_menus) menu.Reset(nullptr);
  g_owner.Reset(nullptr);
  SLPlatformSetTestClock(false);
  return 0;
}
