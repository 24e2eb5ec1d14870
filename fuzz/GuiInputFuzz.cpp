// Drives the GUI manager's tick with random device scripts: any keys with Alt, Ctrl and
// Shift, characters 0-65535, pointer positions inside and outside the screen, buttons
// 1-4 and tick lengths from 0 to 2^32 - 1 ms, on a dialog tree whose handlers destroy,
// hide, disable or create windows, take or release the capture and set or kill timers
// as the input says. Among them real widgets: check boxes (automatic and manual), radio
// buttons of two groups, sliders of ranges 0, 1 and 2^32 - 1 under parents that may
// refuse scroll changes. Checked: every event reaches a registered window; a window
// never gets a move before its enter, nor a second enter before the leave; after a tick the timer
// array holds no entry of an unregistered window, no slider's position exceeds its
// range, no parent holds two checked automatic radio buttons of one group, and no click
// command comes from a press released off the widget.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzInputDevices.h"
#include "fuzz/FuzzProgram.h"
#include "gui/GuiClasses.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiCheckRadio.h"
#include "gui/SLGuiManager.h"
#include "gui/SLGuiSlider.h"
#include "gui/SLGuiTopLevelWindow.h"
#include "platform/kernel32/Modules.h"

namespace {

constexpr int kSlots = 10, kMaxDepth = 3, kMaxWindows = 30;

CSL_GS_GuiManager* g_manager;
CSL_GS_GuiWindow* g_slots[kSlots];  // addresses only: used after a registry check
SLFuzzProgram* g_input;
int g_depth;
// The widget whose mouse release is running, and whether the release point is off it.
CSL_GS_GuiWindow* g_releasing;
bool g_releasedOff;

CSL_GS_GuiWindow* Slot(unsigned index) {
  CSL_GS_GuiWindow* w = g_slots[index % kSlots];
  return w && g_manager->IsRegistered(w) ? w : nullptr;
}

void Create(unsigned a, unsigned b);

// The keys and characters the navigation reacts to come up often.
const u32 kKeys[] = {9, 13, 27, 272, 273, 274, 275, 320, 321, 322, 323, 324, 325, 371, 377, 65, 73, 209, 32};

// What a handler does comes from the window's own script bytes.
template <class Base>
class TFuzzInput : public Base {
 public:
  TFuzzInput() : m_script(g_input ? g_input->Take() : 0), m_target(g_input ? g_input->Take() : 0),
                 m_dialogCode(g_input ? g_input->Take() : 0) {}

  u32 GetDialogCode() override { return m_dialogCode; }
  void OnMouseEnter(u32, i32, i32) override {
    Enter(m_inClient);
    m_inClient = true;
    React(0);
  }
  void OnNcMouseEnter(u32, u32, i32, i32) override {
    Enter(m_inFrame);
    m_inFrame = true;
    React(0);
  }
  void OnMouseMove(u32, i32, i32) override {
    SLFuzzCheck(m_inClient);
    React(1);
  }
  void OnNcMouseMove(u32, u32, i32, i32) override {
    SLFuzzCheck(m_inFrame);
    React(1);
  }
  void OnMouseLeave() override {
    m_inClient = false;
    React(2);
  }
  void OnNcMouseLeave() override {
    m_inFrame = false;
    React(2);
  }
  void OnLButtonDown(u32, i32, i32) override { React(3); }
  void OnLButtonDblClk(u32, i32, i32) override { React(3); }
  void OnRButtonUp(u32, i32, i32) override { React(3); }
  void OnNcLButtonDown(u32, u32, i32, i32) override { React(3); }
  void OnKeyDown(u32) override { React(4); }
  void OnSysKeyDown(u32 key) override {
    React(4);
    if (this->IsRegistered()) Base::OnSysKeyDown(key);
  }
  void OnKeyUp(u32) override { React(5); }
  void OnChar(u32 character) override {
    SLFuzzCheck(character != 0 && character <= 0xFF);
    React(5);
  }
  void OnTimer(u32) override { React(6); }
  void OnSetFocus(CSL_GS_GuiWindow*) override { React(7); }
  bool OnCommand(CSL_GS_GuiWindow* source, u32) override {
    SLFuzzCheck(!(source == g_releasing && g_releasedOff));
    return React(7), true;
  }
  // Bit 7 of the script refuses every scroll change.
  bool OnHScroll(CSL_GS_GuiWindow*, u32, i32, i32) override { return React(6), !(m_script & 0x80); }
  bool OnVScroll(CSL_GS_GuiWindow*, u32, i32, i32) override { return React(6), !(m_script & 0x80); }
  void OnClose() override {
    if (this->IsRegistered()) g_manager->DestroyWindow(this);
  }

 private:
  // An enter comes only after the leave of the same area: one call from outside may run
  // several ticks (an activation runs one), so enters are paired rather than counted.
  void Enter(bool alreadyInside) {
    SLFuzzCheck(!alreadyInside);
  }
  void React(unsigned event) {
    SLFuzzCheck(g_manager->IsRegistered(this));
    if ((m_script & 7) != event || g_depth >= kMaxDepth) return;
    ++g_depth;
    CSL_GS_GuiWindow* other = Slot(m_target);
    switch ((m_script >> 3) % 9) {
      case 0:
        g_manager->DestroyWindow(this);
        break;
      case 1:
        if (other) g_manager->DestroyWindow(other);
        break;
      case 2:
        Create(m_target, m_script);
        break;
      case 3:
        if (other) other->Show(!(other->GetStyle() & SL_GUI_WS_VISIBLE));
        break;
      case 4:
        if (other) other->Enable(!other->IsEnabled());
        break;
      case 5:
        g_manager->SetCapture(this);
        break;
      case 6:
        g_manager->ReleaseCapture();
        break;
      case 7:
        g_manager->SetTimer(other ? other : this, (m_target & 3) + 1, (m_script >> 6) * 40 + 1);
        break;
      default:
        g_manager->KillTimer(other ? other : this, (m_target & 3) + 1);
    }
    --g_depth;
  }
  unsigned m_script, m_target, m_dialogCode;
  bool m_inClient = false, m_inFrame = false;
};

class FuzzInputWindow : public TFuzzInput<CSL_GS_GuiTopLevelWindow> {
  SL_DECLARE_CLASS(FuzzInputWindow)
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzInputWindow, CSL_GS_GuiTopLevelWindow)

class FuzzInputButton : public TFuzzInput<CSL_GS_GuiButton> {
  SL_DECLARE_CLASS(FuzzInputButton)
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzInputButton, CSL_GS_GuiButton)

// Real widgets keep their own handlers; the release check watches their clicks.
template <class Widget>
class TFuzzWidget : public Widget {
 public:
  void OnLButtonUp(u32 keys, i32 x, i32 y) override {
    i32 sx = x, sy = y;
    const bool mapped = g_manager->ClientToScreen(this, &sx, &sy);
    CSL_GS_GuiWindow* outer = g_releasing;
    const bool outerOff = g_releasedOff;
    g_releasing = this;
    g_releasedOff = mapped && this->HitTest(sx, sy) == SL_GUI_HIT_NOWHERE;
    Widget::OnLButtonUp(keys, x, y);
    g_releasing = outer, g_releasedOff = outerOff;
  }
};
class FuzzPushButton : public TFuzzWidget<CSL_GS_GuiButton> {
  SL_DECLARE_CLASS(FuzzPushButton)
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzPushButton, CSL_GS_GuiButton)
class FuzzCheckBox : public TFuzzWidget<CSL_GS_GuiCheckBox> {
  SL_DECLARE_CLASS(FuzzCheckBox)
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzCheckBox, CSL_GS_GuiCheckBox)
class FuzzRadioButton : public TFuzzWidget<CSL_GS_GuiRadioButton> {
  SL_DECLARE_CLASS(FuzzRadioButton)
};
SL_IMPLEMENT_CLASS_CREATABLE(FuzzRadioButton, CSL_GS_GuiRadioButton)

// A widget under a parent: a push button, a check box, a radio button of group 16 or
// 32 (equal or different bits), or a slider of range 0, 1 or 2^32 - 1 and any step.
void CreateWidget(unsigned a, unsigned b) {
  if (g_manager->GetWindowCount() >= kMaxWindows) return;
  CSL_GS_GuiWindow* parent = Slot(a >> 2);
  if (!parent) return;
  const u32 style = SL_GUI_WS_CHILD | SL_GUI_WS_VISIBLE | SL_GUI_WS_TABSTOP | (b & 1);
  const i32 x = i32(a * 7 % 300) - 20, y = i32(b * 5 % 200) - 20, w = i32(b % 120) + 1, h = i32(a % 60) + 1;
  CSL_GS_GuiWindow* made = nullptr;
  switch (a % 5) {
    case 0:
      made = g_manager->CreateWindow(FuzzPushButton::GetClassRecord(), "&Aceptar", x, y, w, h, style & ~1u, 0, 1,
                                     parent);
      break;
    case 1:
      made = g_manager->CreateWindow(FuzzCheckBox::GetClassRecord(), "&Repetir", x, y, w, h, style, 0, 3, parent);
      break;
    case 2:
      made = g_manager->CreateWindow(FuzzRadioButton::GetClassRecord(), "&Uno", x, y, w, h,
                                     style | ((b & 2) ? 32u : 16u), 0, 4, parent);
      break;
    default: {
      static const u32 kRanges[] = {0, 1, 0xFFFFFFFFu, 100};
      const SLClassRecord* record = a % 5 == 3 ? CSL_GS_GuiHSlider::GetClassRecord() : CSL_GS_GuiVSlider::GetClassRecord();
      made = g_manager->CreateWindow(record, "", x, y, w, h, style & ~1u, 0, 5, parent);
      if (made && g_manager->IsRegistered(made)) {
        auto* slider = static_cast<CSL_GS_GuiSliderBase*>(made);
        slider->SetRange(kRanges[(b >> 2) & 3]);
        slider->SetStep(b >> 4);
        slider->SetPosition(a * 0x01010101u);
      }
    }
  }
  if (made) g_slots[(a >> 4) % kSlots] = made;
}

void Create(unsigned a, unsigned b) {
  if (g_manager->GetWindowCount() >= kMaxWindows) return;
  static const char* const kTexts[] = {"&Aceptar", "&Cancelar", "&\321and\372", "&Ingresa el texto:", "a&&b", "&", ""};
  static const u32 kinds[] = {0, SL_GUI_WS_CHILD, SL_GUI_WS_OWNED, SL_GUI_WS_CHILD};
  u32 style = kinds[a % 4] | SL_GUI_WS_VISIBLE;
  if ((b & 3) == 3) style &= ~SL_GUI_WS_VISIBLE;
  if ((b & 0x0C) == 0x0C) style |= SL_GUI_WS_DISABLED;
  if (b & 0x10) style |= SL_GUI_WS_TABSTOP;
  if ((b & 0x60) == 0x60) style |= SL_GUI_WS_MODAL;
  if (b & 0x80) style |= 8;  // closes on Alt+F4
  CSL_GS_GuiWindow* parent = Slot(a >> 2);
  const SLClassRecord* record = (b & 0x20) && (style & SL_GUI_WS_CHILD) ? FuzzInputButton::GetClassRecord()
                                                                         : FuzzInputWindow::GetClassRecord();
  const i32 x = i32(a * 7 % 500) - 50, y = i32(b * 5 % 400) - 50;
  CSL_GS_GuiWindow* w = g_manager->CreateWindow(record, kTexts[(a ^ b) % 7], x, y, i32(b % 200) + 1,
                                                i32(a % 150) + 1, style, 0, a % 4, parent);
  if (w) g_slots[(a >> 4) % kSlots] = w;
}

void CheckTimers() {
  for (const SLGuiTimer& timer : *g_manager->GetState()->timers)
    SLFuzzCheck(timer.window && g_manager->IsRegistered(timer.window));
}

// Sliders stay in their range; a parent's automatic radio buttons of one group hold at
// most one check.
void CheckWidgets() {
  for (CSL_GS_GuiWindow* w : g_slots) {
    if (!w || !g_manager->IsRegistered(w)) continue;
    if (w->IsKindOf(CSL_GS_GuiSliderBase::GetClassRecord())) {
      auto* slider = static_cast<CSL_GS_GuiSliderBase*>(w);
      SLFuzzCheck(slider->GetPosition() <= slider->GetRange());
    }
    u32 checked[16] = {};
    for (CSL_GS_GuiWindow* c = g_manager->GetFirstChild(w); c; c = g_manager->GetNextSibling(c)) {
      if (!c->IsKindOf(CSL_GS_GuiRadioButton::GetClassRecord()) || !(c->GetStyle() & SL_GUI_CS_AUTO)) continue;
      if (static_cast<CSL_GS_GuiRadioButton*>(c)->IsChecked()) ++checked[(c->GetStyle() >> 4) & 15];
    }
    for (u32 n : checked) SLFuzzCheck(n <= 1);
  }
}

u32 TickLength(SLFuzzProgram& in) {
  static const u32 kLengths[] = {0, 1, 16, 33, 299, 500, 1000, 65535, 0x80000000u, 0xFFFFFFFFu};
  const unsigned pick = in.Take();
  if (pick < 240) return kLengths[pick % 10];
  return in.Take() | in.Take() << 8 | in.Take() << 16 | u32(in.Take()) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLRegisterGuiClasses();
  SLFuzzProgram input{data, size};
  g_input = &input;
  std::uint64_t clockMs = (std::uint64_t(1) << 32) - 2000;  // a few seconds before the wrap
  SLPlatformSetTestClock(true, clockMs * 1000000u);
  SLFuzzKeyboard keyboard;
  SLFuzzMouse mouse;
  CSL_GS_GuiManager manager;
  g_manager = &manager;
  for (CSL_GS_GuiWindow*& slot : g_slots) slot = nullptr;
  g_depth = 0;
  g_releasing = nullptr, g_releasedOff = false;
  if (!manager.Init()) return 0;
  manager.SetKeyboard(&keyboard);
  manager.SetMouse(&mouse);
  for (int i = 0; i < 6; ++i) Create(input.Take(), input.Take());
  for (int i = 0; i < 4; ++i) CreateWidget(input.Take(), input.Take());
  for (int steps = 0; input.at < input.size && steps < 300; ++steps) {
    const unsigned op = input.Take();
    if (op % 8 == 7) {
      const unsigned a = input.Take(), b = input.Take();
      (b & 0x40) ? CreateWidget(a, b) : Create(a, b);
    } else if (op % 8 == 6) {
      manager.SetFocus(Slot(input.Take()));
    } else {
      for (u8& key : keyboard.state) key &= 1;
      for (unsigned n = op % 4; n > 0; --n) {
        const unsigned k = input.Take() | input.Take() << 8;
        const u32 code = k & 0x8000 ? kKeys[k % (sizeof kKeys / sizeof kKeys[0])] : k % SL_GS_KEY_COUNT;
        keyboard.state[code] = u8(((keyboard.state[code] & 1) ^ 1) | 2);
      }
      keyboard.next = (op & 0x10) ? SLWChar(input.Take() | input.Take() << 8) : SLWChar(0);
      if (op & 0x20) {
        mouse.x = i32(input.Take() * 4) - 100;
        mouse.y = i32(input.Take() * 3) - 100;
      }
      mouse.changed = (op & 0x40) ? input.Take() & 0xF : 0;
      mouse.buttons ^= mouse.changed;
      clockMs += TickLength(input);
      SLPlatformSetTestClock(true, clockMs * 1000000u);
      manager.Update(false);
    }
    if (!manager.IsInitialised()) break;
    CheckTimers();
    CheckWidgets();
  }
  manager.Shutdown();
  SLPlatformSetTestClock(false);
  g_input = nullptr;
  return 0;
}
