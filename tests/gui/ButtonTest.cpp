// Push buttons in a dialog on the recording device, driven by scripted input: a click
// fires once and only when pressed and released over the button's visible shape, the
// space key only while the focus stays, a dialog may destroy the button from its
// command, and the dialog navigation finds real buttons. Drawing picks the state's
// element and shifts the pressed caption.
#include <gtest/gtest.h>

#include <string>

#include "gamesystem/directx/SLGfxDirectX.h"
#include "gui/SLGuiButton.h"
#include "gui/SLGuiSlider.h"
#include "tests/support/WidgetFixture.h"

namespace {

// A button whose skin lost its "Normal" element.
class CButtonWithoutNormal : public CSL_GS_GuiButton {
  SL_DECLARE_CLASS(CButtonWithoutNormal)
 public:
  bool OnCreate() override {
    CSL_GS_GuiButton::OnCreate();
    m_elements[0] = nullptr;
    return true;
  }
  void OnPositionChanged(SLGuiWindowPos* pos) override {
    CSL_GS_GuiButton::OnPositionChanged(pos);
    m_elements[0] = nullptr;
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CButtonWithoutNormal, CSL_GS_GuiButton)

class Button : public WidgetFixture {};

TEST_F(Button, MouseClickFiresOnlyForAPressAndReleaseOverTheButton) {
  Make<CSL_GS_GuiButton>("&Aceptar", {20, 20, 100, 30}, 0, 7);
  const struct {
    const char* name;
    const char* script;
    u32 ticks;
    const char* commands;
  } cases[] = {
      {"press and release", "tick 1: mouse 70,35\ntick 2: button 1 down\ntick 3: button 1 up", 3, "cmd 7;"},
      {"released outside", "tick 1: mouse 70,35\ntick 2: button 1 down\ntick 3: mouse 300,200\ntick 4: button 1 up",
       4, ""},
      {"off and back on", "tick 1: mouse 70,35\ntick 2: button 1 down\ntick 3: mouse 300,200\ntick 4: mouse 60,30\n"
       "tick 5: button 1 up", 5, "cmd 7;"},
      {"pressed beside it", "tick 1: mouse 300,200\ntick 2: button 1 down\ntick 3: mouse 70,35\ntick 4: button 1 up",
       4, ""},
      {"jumps off as it is released", "tick 1: mouse 70,35\ntick 2: button 1 down\ntick 3: mouse 300,200; button 1 up",
       3, ""},
      {"jumps on as it is released", "tick 1: mouse 70,35\ntick 2: button 1 down\ntick 3: mouse 300,200\n"
       "tick 4: mouse 70,35; button 1 up", 4, "cmd 7;"},
      {"double click", "tick 1: mouse 70,35\ntick 2: button 1 down\ntick 3: button 1 up\ntick 4: button 1 down\n"
       "tick 5: button 1 up", 5, "cmd 7;cmd 7;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Play(c.script, c.ticks), c.commands);
  }
}

TEST_F(Button, SpaceFiresOnlyWhenPressedAndReleasedWithTheFocus) {
  auto* ok = Make<CSL_GS_GuiButton>("&Aceptar", {20, 20, 100, 30}, 0, 7);
  auto* other = Make<CSL_GS_GuiButton>("&Cancelar", {20, 60, 100, 30}, 0, 8);
  const char* space = "tick 1: key 32 down\ntick 2: key 32 up\n";
  m.SetFocus(ok);
  EXPECT_EQ(Play(space, 2), "cmd 7;");
  // The focus moves between the press and the release: neither button fires.
  m.SetFocus(ok);
  EXPECT_EQ(Play(space, 2, 20, [&](u32 tick) {
              if (tick == 2) m.SetFocus(other);
            }),
            "");
  EXPECT_EQ(ok->GetFlags() & (SL_GUI_BTN_SPACE | SL_GUI_BTN_FOCUSED), 0u);
  // Disabling forgets the press: re-enabled, the release fires nothing.
  m.SetFocus(ok);
  EXPECT_EQ(Play(space, 2, 20, [&](u32 tick) {
              if (tick == 2) ok->Enable(false), ok->Enable(true), m.SetFocus(ok);
            }),
            "");
}

TEST_F(Button, DialogMayDestroyTheButtonFromItsCommand) {
  auto* ok = Make<CSL_GS_GuiButton>("&Aceptar", {20, 20, 100, 30}, 0, 7);
  CWidgetDialog::s_onCommand = [&](CSL_GS_GuiWindow* source) { m.DestroyWindow(source); };
  EXPECT_EQ(ClickAt(70, 35), "cmd 7;");
  EXPECT_FALSE(m.IsRegistered(ok));
  EXPECT_EQ(m.GetCaptureWindow(), nullptr);
  // The same by the keyboard.
  auto* again = Make<CSL_GS_GuiButton>("&Otra vez", {20, 20, 100, 30}, 0, 9);
  m.SetFocus(again);
  EXPECT_EQ(Play("tick 1: key 32 down\ntick 2: key 32 up\n", 2), "cmd 9;");
  EXPECT_FALSE(m.IsRegistered(again));
}

TEST_F(Button, ClicksOnTransparentPixelsReachTheWindowBelow) {
  auto* bare = Make<CButtonWithoutNormal>("Sin fondo", {20, 20, 100, 30}, 0, 3);
  u32 hit = 0;
  EXPECT_EQ(m.WindowFromPoint(70, 35, nullptr, &hit, true, false), dialog);
  EXPECT_EQ(ClickAt(70, 35), "");
  m.DestroyWindow(bare);

  // An image button: 40 x 40 with 10-pixel transparent corners, centred in 100 x 60.
  auto* picture = Make<CSL_GS_GuiButton>("", {20, 20, 100, 60}, SL_GUI_BS_IMAGE, 4);
  EXPECT_EQ(m.WindowFromPoint(70, 50, nullptr, &hit, true, false), dialog);  // no image yet
  SL_GS_Image* image = CornerImage(40, 40, 10);
  ASSERT_TRUE(picture->SetNormalImage(image));
  const struct {
    i32 x, y;
    bool onButton;
  } points[] = {{70, 50, true}, {51, 31, false}, {61, 31, true}, {88, 68, false}, {88, 58, true}, {45, 50, false}};
  for (const auto& p : points) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    EXPECT_EQ(m.WindowFromPoint(p.x, p.y, nullptr, &hit, true, false),
              p.onButton ? static_cast<CSL_GS_GuiWindow*>(picture) : dialog);
  }
  EXPECT_EQ(ClickAt(51, 31), "");
  EXPECT_EQ(ClickAt(70, 50), "cmd 4;");

  // The device went away: the image slots are empty and the button has no shape.
  picture->OnGfxChanged(nullptr);
  EXPECT_EQ(m.WindowFromPoint(70, 50, nullptr, &hit, true, false), dialog);
  gfx.DestroyImage(image);
}

TEST_F(Button, ImageSettersRefuseGoneButtonsAndEmptySizes) {
  auto* b = Make<CSL_GS_GuiButton>("x", {0, 0, 50, 20});
  SL_GS_Image* image = CornerImage(8, 8, 2);
  SL_GS_DrawImageOptions zero{};
  zero.flags = SL_GS_DRAW_SCALE;
  zero.scaleX = 0, zero.scaleY = 1;
  EXPECT_FALSE(b->SetOverImage(image, &zero));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  TSLObjPtr<CSL_GS_GuiButton> keep(b);
  m.DestroyWindow(b);
  EXPECT_FALSE(b->SetNormalImage(image));
  EXPECT_EQ(SLGetLastError(), 0x80001001u);
  gfx.DestroyImage(image);
}

TEST_F(Button, NavigationFindsRealPushButtons) {
  auto* ok = Make<CSL_GS_GuiButton>("&Aceptar", {20, 20, 100, 30}, SL_GUI_BS_DEFAULT, 1);
  auto* cancel = Make<CSL_GS_GuiButton>("&Cancelar", {140, 20, 100, 30}, 0, 2);
  auto* slider = Make<CSL_GS_GuiHSlider>("", {20, 60, 100, 20}, 0, 3);
  EXPECT_EQ(ok->GetDialogCode(), 48u);
  EXPECT_EQ(cancel->GetDialogCode(), 16u);
  // Enter on a window that is no push button fires the default button.
  m.SetFocus(slider);
  EXPECT_EQ(Play("tick 1: key 13 down\ntick 2: key 13 up\n", 2), "cmd 1;");
  // Arrows walk the run of push buttons and wrap.
  m.SetFocus(ok);
  Play("tick 1: key 274 down\ntick 2: key 274 up\n", 2);
  EXPECT_EQ(m.GetFocusWindow(), cancel);
  Play("tick 1: key 274 down\ntick 2: key 274 up\n", 2);
  EXPECT_EQ(m.GetFocusWindow(), ok);
  // Typing the mnemonic fires the button.
  m.SetFocus(slider);
  EXPECT_EQ(Play("tick 1: key 65 down; char 97\ntick 2: key 65 up\n", 2), "cmd 1;");
}

TEST_F(Button, DrawingPicksTheStateElementAndShiftsThePressedCaption) {
  auto* b = Make<CSL_GS_GuiButton>("Hola", {20, 20, 100, 30}, 0, 7);
  const auto textLine = [&](const std::string& log) {
    const size_t at = log.find("text 'Hola'@");
    return at == std::string::npos ? std::string() : log.substr(at, log.find('\n', at) - at);
  };
  const auto draw = [&] {
    gfx.m_log.clear();
    EXPECT_TRUE(m.Draw());
    return gfx.m_log;
  };
  const std::string normal = draw();
  ASSERT_NE(textLine(normal), "");
  // Pressed with the pointer over it: the default skin's "Normal" insets are 18 and 14,
  // so the caption moves by 2 and 2.
  Play("tick 1: mouse 70,35\ntick 2: button 1 down\n", 2);
  EXPECT_EQ(b->GetState(), SL_GUI_STATE_FOCUSED | SL_GUI_STATE_PRESSED);
  const std::string pressed = draw();
  i32 x0, y0, x1, y1;
  ASSERT_EQ(sscanf(textLine(normal).c_str(), "text 'Hola'@%d,%d", &x0, &y0), 2);
  ASSERT_EQ(sscanf(textLine(pressed).c_str(), "text 'Hola'@%d,%d", &x1, &y1), 2);
  EXPECT_EQ(x1 - x0, 2);
  EXPECT_EQ(y1 - y0, 2);
  Play("tick 1: button 1 up\n", 1);
  // Disabled: the state's element falls back to "Normal", nothing is shifted.
  b->Enable(false);
  EXPECT_EQ(b->GetState(), SL_GUI_STATE_DISABLED);
  EXPECT_EQ(textLine(draw()), textLine(normal));
}

TEST_F(Button, ImageBesideTextIsPlacedByTheImageStyle) {
  SL_GS_Image* image = CornerImage(16, 16, 0);
  const auto imageAt = [&](CSL_GS_GuiButton* b) {
    gfx.m_log.clear();
    SLGuiRect client;
    b->GetScreenRectR(&client);
    b->Draw(&client);
    const std::string& log = gfx.m_log;
    const size_t last = log.rfind("image ");
    if (last == std::string::npos) return std::string();
    const size_t at = log.find('@', last);
    return log.substr(at, log.find('\n', last) - at);
  };
  // Style 18 without a text: the image centred on the inner area left by the default
  // skin's insets (18, 14, 18, 7): x 38 + (64 - 16) / 2, y 34 + (9 - 16) / 2.
  auto* alone = Make<CSL_GS_GuiButton>("", {20, 20, 100, 30}, SL_GUI_BS_IMAGE_AND_TEXT, 1);
  ASSERT_TRUE(alone->SetNormalImage(image));
  ASSERT_TRUE(alone->SetImageAlignment(18));
  EXPECT_EQ(imageAt(alone), "@62,31 opt");
  // Image left and adjacent (16) to a centred text: the pair is centred as one block, the
  // image first.
  auto* pair = Make<CSL_GS_GuiButton>("Hola", {20, 60, 160, 40}, SL_GUI_BS_IMAGE_AND_TEXT, 2);
  ASSERT_TRUE(pair->SetNormalImage(image));
  ASSERT_TRUE(pair->SetImageAlignment(16));
  i32 textWidth = 0;
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor color{};
  pair->GetTextStyle(pair, 0, &font, &color);
  m.MeasureText(font, "Hola", &textWidth, nullptr, &color);
  const i32 inner = 160 - 36, blockX = 38 + (inner - (16 + 2 + textWidth)) / 2;
  EXPECT_EQ(imageAt(pair).substr(0, imageAt(pair).find(',')), "@" + std::to_string(blockX));
  gfx.DestroyImage(image);
}

}  // namespace
