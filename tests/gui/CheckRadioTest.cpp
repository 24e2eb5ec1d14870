// Check boxes, radio buttons and group boxes in a dialog: radio groups by their style
// bits, automatic and manual clicks, the glyph-and-text layout and hit shape, and the
// group box's border with its caption gap.
#include <gtest/gtest.h>

#include <string>

#include "gui/SLGuiCheckRadio.h"
#include "tests/support/WidgetFixture.h"

namespace {

// A group box with a hand-made border of insets 4 cut from a white image, and the push
// button's font (the default skin gives group boxes neither).
class CTestGroupBox : public CSL_GS_GuiGroupBox {
  SL_DECLARE_CLASS(CTestGroupBox)
 public:
  static inline SLGuiSkinElement* s_border = nullptr;
  bool OnCreate() override {
    CSL_GS_GuiGroupBox::OnCreate();
    UseBorder();
    return true;
  }
  void OnPositionChanged(SLGuiWindowPos* pos) override {
    CSL_GS_GuiGroupBox::OnPositionChanged(pos);
    UseBorder();
  }
  i32 Top() const { return m_top; }

 private:
  void UseBorder() {
    m_border = s_border;
    m_font = m_manager->GetSkinFont(m_skin, "PushButton", "Font");
    i32 height = 0;
    m_manager->MeasureText(m_font, "Wj", nullptr, &height, nullptr);
    m_left = m_right = m_bottom = 4;
    m_top = std::max(4, height);
  }
};
SL_IMPLEMENT_CLASS_CREATABLE(CTestGroupBox, CSL_GS_GuiGroupBox)

class CheckRadio : public WidgetFixture {
 protected:
  // A click on the glyph of a 120 x 20 widget at (x, y).
  std::string Click(CSL_GS_GuiWindow* w) {
    const SLGuiRect& r = w->GetWindowRect();
    return ClickAt(r.x + 6, r.y + r.height / 2);
  }
  std::string Space(CSL_GS_GuiWindow* w) {
    m.SetFocus(w);
    return Play("tick 1: key 32 down\ntick 2: key 32 up\n", 2);
  }
};

TEST_F(CheckRadio, RadioGroupsByStyleBitsAreIndependent) {
  const u32 kGroupA = 16 | SL_GUI_CS_AUTO, kGroupB = 32 | SL_GUI_CS_AUTO;
  CSL_GS_GuiRadioButton* r[4] = {
      Make<CSL_GS_GuiRadioButton>("Uno", {10, 10, 120, 20}, kGroupA, 1),
      Make<CSL_GS_GuiRadioButton>("Dos", {10, 40, 120, 20}, kGroupA, 2),
      Make<CSL_GS_GuiRadioButton>("Tres", {10, 70, 120, 20}, kGroupB, 3),
      Make<CSL_GS_GuiRadioButton>("Cuatro", {10, 100, 120, 20}, kGroupB, 4),
  };
  const auto checked = [&] {
    std::string s;
    for (auto* b : r) s += b->IsChecked() ? '1' : '0';
    return s;
  };
  EXPECT_EQ(r[0]->GetDialogCode(), 80u);
  const struct {
    u32 which;
    bool byKey;
    const char* commands;
    const char* after;
  } steps[] = {
      {0, false, "cmd 1;", "1000"}, {2, false, "cmd 3;", "1010"}, {1, false, "cmd 2;", "0110"},
      {1, false, "", "0110"},  // already checked: ignores the click
      {1, true, "", "0110"},   // and the space key
      {3, true, "cmd 4;", "0101"}, {0, true, "cmd 1;", "1001"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::to_string(s.which) + (s.byKey ? " key" : " click"));
    EXPECT_EQ(s.byKey ? Space(r[s.which]) : Click(r[s.which]), s.commands);
    EXPECT_EQ(checked(), s.after);
  }
  // Checking from code also unchecks the group, without a command.
  CWidgetDialog::s_log.clear();
  r[1]->SetCheck(true);
  EXPECT_EQ(checked(), "0101");
  EXPECT_EQ(CWidgetDialog::s_log, "");
}

TEST_F(CheckRadio, AutomaticCheckBoxesToggleAndManualOnesOnlyNotify) {
  auto* automatic = Make<CSL_GS_GuiCheckBox>("Autom\xE1tica", {10, 10, 120, 20}, SL_GUI_CS_AUTO, 5);
  auto* manual = Make<CSL_GS_GuiCheckBox>("Manual", {10, 40, 120, 20}, 0, 6);
  EXPECT_EQ(Click(automatic), "cmd 5;");
  EXPECT_TRUE(automatic->IsChecked());
  EXPECT_EQ(Space(automatic), "cmd 5;");
  EXPECT_FALSE(automatic->IsChecked());
  EXPECT_EQ(Click(manual), "cmd 6;");
  EXPECT_EQ(Space(manual), "cmd 6;");
  EXPECT_FALSE(manual->IsChecked());
  // Pressed on it and released outside: nothing.
  EXPECT_EQ(Play("tick 1: mouse 16,50\ntick 2: button 1 down\ntick 3: mouse 300,250\ntick 4: button 1 up\n", 4), "");
  EXPECT_EQ(manual->GetFlags() & (SL_GUI_BTN_PRESSED | SL_GUI_BTN_SPACE), 0u);
}

TEST_F(CheckRadio, GlyphAndTextLayoutAndShape) {
  auto* box = Make<CSL_GS_GuiCheckBox>("Opci\xF3n", {10, 10, 120, 30}, 0, 5);
  SLGuiRect glyph, text;
  const SLGuiRect client{0, 0, 120, 30};
  box->Layout(client, &glyph, &text);
  // The default skin's glyph is 13 x 13, vertically centred; the text 2 pixels after it.
  EXPECT_EQ(glyph.x, 0);
  EXPECT_EQ(glyph.width, 13);
  EXPECT_EQ(glyph.y, (30 - std::max(13, text.height)) / 2 + (std::max(13, text.height) - 13) / 2);
  ASSERT_GT(text.width, 0);
  EXPECT_EQ(text.x, 15);
  // Low byte of the format above 15: the glyph goes to the right, the text to the left.
  box->SetTextFormat(16 | 8);
  box->Layout(client, &glyph, &text);
  EXPECT_EQ(glyph.x, 120 - 13);
  EXPECT_EQ(text.x, 0);
  EXPECT_EQ(glyph.y, (std::max(13, text.height) - 13) / 2);  // top line
  // Too narrow for any text: the text box is empty.
  ASSERT_TRUE(box->SetRect(10, 10, 14, 30));
  box->Layout({0, 0, 14, 30}, &glyph, &text);
  EXPECT_EQ(text.width, 0);
  // The text box always hits; a widget in image mode without images never does.
  box->SetTextFormat(0);
  ASSERT_TRUE(box->SetRect(10, 10, 120, 30));
  box->Layout({10, 10, 120, 30}, &glyph, &text);
  EXPECT_EQ(box->HitTest(text.x + 1, text.y + 1), SL_GUI_HIT_CLIENT);
  auto* pictures = Make<CSL_GS_GuiCheckBox>("x", {10, 100, 40, 40}, SL_GUI_CS_IMAGE, 7);
  EXPECT_EQ(pictures->HitTest(30, 120), SL_GUI_HIT_NOWHERE);
  SL_GS_Image* image = CornerImage(20, 20, 5);
  ASSERT_TRUE(pictures->SetImage5(image));  // unchecked Over: not the shape
  EXPECT_EQ(pictures->HitTest(30, 120), SL_GUI_HIT_NOWHERE);
  ASSERT_TRUE(pictures->SetFocusedImage(image));  // slot 4: unchecked Normal
  EXPECT_EQ(pictures->HitTest(30, 120), SL_GUI_HIT_CLIENT);
  EXPECT_EQ(pictures->HitTest(21, 111), SL_GUI_HIT_NOWHERE);  // a transparent corner
  gfx.DestroyImage(image);
}

TEST_F(CheckRadio, GroupBoxBorderHasAGapBehindItsCaption) {
  SL_GS_Image* white = CornerImage(16, 16, 0);
  SLGuiSkin skin{};
  skin.imageCount = 1;
  skin.imageHandles = &white;
  SLGuiSkinElement border{0, 0, 0, 16, 16, 4, 4, 4, 4, 1, 1, &skin};
  CTestGroupBox::s_border = &border;
  // Empty text: one pass of the border, no clip rectangles of its own.
  auto* empty = Make<CTestGroupBox>("", {10, 10, 200, 100});
  const auto frameLog = [&](CSL_GS_GuiWindow* w) {
    SLGuiManagerState* state = m.GetState();
    state->clipX = 0, state->clipY = 0, state->clipWidth = 800, state->clipHeight = 600;
    gfx.m_log.clear();
    SLGuiRect r;
    w->GetScreenRectR(&r);
    w->DrawFrame(&r);
    return gfx.m_log;
  };
  std::string log = frameLog(empty);
  EXPECT_EQ(log.find("clip"), std::string::npos) << log;
  EXPECT_NE(log.find("image"), std::string::npos);
  m.DestroyWindow(empty);
  // A caption wider than w - 4 x (left + right) = 200 - 32 is cut to it: three clipped
  // passes, then the caption's own clip of that width.
  auto* wide = Make<CTestGroupBox>("Un t\xEDtulo mucho m\xE1s ancho que el marco que lo rodea", {10, 10, 200, 100});
  log = frameLog(wide);
  size_t clips = 0;
  for (size_t at = log.find("clip "); at != std::string::npos; at = log.find("clip ", at + 1)) ++clips;
  EXPECT_GE(clips, 4u) << log;
  const i32 top = wide->Top();
  // Centred between twice the side insets: 10 + 8 + (200 - 16 - 168) / 2 = 26; the
  // cut caption shows its start.
  const std::string caption = "clip 26,10," + std::to_string(200 - 32) + "," + std::to_string(top);
  EXPECT_NE(log.find(caption), std::string::npos) << log;
  EXPECT_NE(log.find("text 'Un t?tulo mucho m?s ancho que el marco que lo rodea'@26,"), std::string::npos) << log;
  // The client area lies inside the insets, the caption strip included.
  EXPECT_EQ(static_cast<CSL_GS_GuiWindow*>(wide)->GetClientArea().y, 10 + top);
  EXPECT_EQ(static_cast<CSL_GS_GuiWindow*>(wide)->GetClientArea().width, 200 - 8);
  m.DestroyWindow(wide);
  CTestGroupBox::s_border = nullptr;
  gfx.DestroyImage(white);
}

}  // namespace
