// Labels: the default skin's inset client area, the disabled look (the normal background
// with the disabled text colour), image mode and the shape that decides which points
// belong to the label.
#include <gtest/gtest.h>

#include <string>

#include "gui/SLGuiLabel.h"
#include "tests/support/WidgetFixture.h"

namespace {

class Label : public WidgetFixture {
 protected:
  std::string DrawLog() {
    gfx.m_log.clear();
    EXPECT_TRUE(m.Draw());
    return gfx.m_log;
  }
  static std::string Images(const std::string& log) {
    std::string images;
    for (size_t at = log.find("image "); at != std::string::npos; at = log.find("image ", at + 1))
      images += log.substr(at, log.find('\n', at) - at) + ";";
    return images;
  }
};

TEST_F(Label, DefaultSkinInsetsTheClientAreaByThree) {
  auto* label = Make<CSL_GS_GuiLabel>("&Nombre:", {20, 30, 120, 40});
  const SLGuiRect& client = static_cast<CSL_GS_GuiWindow*>(label)->GetClientArea();
  EXPECT_EQ(client.x, 23);
  EXPECT_EQ(client.y, 33);
  EXPECT_EQ(client.width, 120 - 6);
  EXPECT_EQ(client.height, 40 - 6);
  EXPECT_EQ(label->GetDialogCode(), SL_GUI_DLGC_STATIC);
  // Text only: no skin background, the whole window is the client area.
  auto* plain = Make<CSL_GS_GuiLabel>("Texto", {20, 80, 120, 40}, SL_GUI_LS_TEXT_ONLY);
  EXPECT_EQ(static_cast<CSL_GS_GuiWindow*>(plain)->GetClientArea().width, 120);
  u32 hit = 0;
  EXPECT_EQ(m.WindowFromPoint(21, 81, nullptr, &hit, true, false), plain);
}

TEST_F(Label, DisabledLabelKeepsItsBackgroundAndTakesTheDisabledColour) {
  auto* label = Make<CSL_GS_GuiLabel>("Hola", {20, 30, 120, 40});
  const std::string enabled = DrawLog();
  label->Enable(false);
  EXPECT_EQ(label->GetState(), SL_GUI_STATE_DISABLED);
  const std::string disabled = DrawLog();
  EXPECT_EQ(Images(enabled), Images(disabled));
  EXPECT_NE(enabled.find("text 'Hola'"), std::string::npos);
  SL_GS_Font* font = nullptr;
  SLGuiSkinColor normal{}, grey{};
  ASSERT_TRUE(label->GetTextStyle(label, SL_GUI_STATE_NORMAL, &font, &normal));
  ASSERT_TRUE(label->GetTextStyle(label, SL_GUI_STATE_DISABLED, &font, &grey));
  const SLGuiSkinColor* skinGrey = m.GetSkinColor(0, "Label", "DisabledColor");
  const SLGuiSkinColor* skinNormal = m.GetSkinColor(0, "Label", "NormalColor");
  ASSERT_NE(skinNormal, nullptr);
  EXPECT_EQ(normal.color, skinNormal->color);
  EXPECT_EQ(grey.color, (skinGrey ? skinGrey : skinNormal)->color);
}

TEST_F(Label, ImageModeDrawsAndHitsOnlyTheImage) {
  auto* label = Make<CSL_GS_GuiLabel>("no se dibuja", {20, 30, 100, 60}, SL_GUI_LS_IMAGE);
  u32 hit = 0;
  EXPECT_EQ(DrawLog().find("text 'no se dibuja'"), std::string::npos);
  EXPECT_EQ(m.WindowFromPoint(70, 60, nullptr, &hit, true, false), dialog);
  SL_GS_Image* image = CornerImage(40, 40, 10);
  SL_GS_Image* grey = CornerImage(20, 20, 2);
  ASSERT_TRUE(label->SetImage(image));
  ASSERT_TRUE(label->SetDisabledImage(grey));
  // Centred: the image covers 50..89 x 40..79.
  EXPECT_EQ(m.WindowFromPoint(70, 60, nullptr, &hit, true, false), label);
  EXPECT_EQ(m.WindowFromPoint(51, 41, nullptr, &hit, true, false), dialog);
  EXPECT_EQ(m.WindowFromPoint(45, 60, nullptr, &hit, true, false), dialog);
  EXPECT_NE(DrawLog().find("@50,40"), std::string::npos);
  label->Enable(false);
  EXPECT_NE(DrawLog().find("@60,50"), std::string::npos);  // the disabled image, centred
  label->OnGfxChanged(nullptr);
  EXPECT_EQ(m.WindowFromPoint(70, 60, nullptr, &hit, true, false), dialog);
  gfx.DestroyImage(image);
  gfx.DestroyImage(grey);
}

}  // namespace
