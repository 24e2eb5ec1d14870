// The four program fonts and the skin pack: "layout.inf", its two images (a PNG with
// alpha and a TGA) and three fonts, every element cut from pieces drawn here and packed
// into the image by a shelf packer.
#include <cstdio>
#include <map>

#include "image/ImageClasses.h"
#include "image/SLImageArray.h"
#include "image/SLImageReader.h"
#include "image/writers/SLImageWriterTGA.h"
#include "storage/SLMemoryStorage.h"
#include "tools/contentgen/Content.h"
#include "tools/contentgen/Drawing.h"
#include "tools/contentgen/Pictures.h"
#include "tools/slpack/PackWriter.h"

namespace contentgen {

namespace {

constexpr const char* kDejaVu = "/usr/share/fonts/truetype/dejavu/";
constexpr const char* kComicNeue = "/usr/share/fonts/opentype/comic-neue/";

bool RunFntwrite(Context& context, const std::string& font, int pixels, const std::filesystem::path& out,
                 std::vector<std::string> extra, std::string* error) {
  std::vector<std::string> argv{context.fntwrite, font, std::to_string(pixels), out.string(), "--no-font-kerning"};
  argv.insert(argv.end(), extra.begin(), extra.end());
  std::error_code ec;
  std::filesystem::create_directories(out.parent_path(), ec);
  Child child(context, argv);
  return child.Start(error) && child.Finish(error);
}

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
};

// Places pieces left to right in shelves on the 512 x 512 skin image.
class Atlas {
 public:
  Atlas() : m_canvas(512, 512) {}
  Rect Place(const Canvas& piece) {
    if (m_x + piece.Width() > 512) m_x = 0, m_y += m_shelf + 2, m_shelf = 0;
    const Rect r{m_x, m_y, piece.Width(), piece.Height()};
    cairo_set_source_surface(m_canvas.cr(), cairo_get_target(piece.cr()), r.x, r.y);
    cairo_paint(m_canvas.cr());
    m_x += piece.Width() + 2;
    m_shelf = std::max(m_shelf, piece.Height());
    return r;
  }
  bool Overflowed() const { return m_y + m_shelf > 512; }
  const Canvas& Picture() const { return m_canvas; }

 private:
  Canvas m_canvas;
  int m_x = 0, m_y = 0, m_shelf = 0;
};

std::string Element(const char* image, Rect r, int l, int t, int rt, int b, const char* words = "StretchX, StretchY") {
  char text[160];
  std::snprintf(text, sizeof text, "%s; (%d,%d,%d,%d); (%d,%d,%d,%d); %s", image, r.x, r.y, r.w, r.h, l, t, rt, b, words);
  return text;
}

std::string Glyph(Rect r) {
  char text[96];
  std::snprintf(text, sizeof text, "PIEL; (%d,%d,%d,%d)", r.x, r.y, r.w, r.h);
  return text;
}

// A framed panel piece: fill, border and rounded corners.
Canvas PanelPiece(int w, int h, Rgb fill, Rgb border, double radius, double line = 2) {
  Canvas c(w, h);
  RoundRect(c.cr(), line / 2, line / 2, w - line, h - line, radius);
  SetColor(c.cr(), fill);
  cairo_fill_preserve(c.cr());
  SetColor(c.cr(), border);
  cairo_set_line_width(c.cr(), line);
  cairo_stroke(c.cr());
  return c;
}

Canvas CaptionBar(Rgb top, Rgb bottom) {
  Canvas c(64, 30);
  RoundRect(c.cr(), 0, 0, 64, 40, 10);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, 30);
  cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
  cairo_set_source(c.cr(), p);
  cairo_fill(c.cr());
  cairo_pattern_destroy(p);
  return c;
}

Canvas Solid(int w, int h, Rgb colour) {
  Canvas c(w, h);
  cairo_rectangle(c.cr(), 0, 0, w, h);
  SetColor(c.cr(), colour);
  cairo_fill(c.cr());
  return c;
}

Canvas GlyphPiece(int size, Icon icon, Rgb ink, Rgb back = {0, 0, 0, 0}) {
  Canvas c(size, size);
  if (back.a > 0) {
    RoundRect(c.cr(), 0.5, 0.5, size - 1, size - 1, 2);
    SetColor(c.cr(), back);
    cairo_fill_preserve(c.cr());
    SetColor(c.cr(), Hex(0x5A189A));
    cairo_set_line_width(c.cr(), 1);
    cairo_stroke(c.cr());
  }
  DrawIcon(c.cr(), icon, size / 2.0, size / 2.0, size * 0.9, ink);
  return c;
}

Canvas RadioPiece(bool checked, Rgb ring) {
  Canvas c(13, 13);
  cairo_arc(c.cr(), 6.5, 6.5, 5.8, 0, 6.283185307179586);
  SetColor(c.cr(), Hex(0xFFFFFF));
  cairo_fill_preserve(c.cr());
  SetColor(c.cr(), ring);
  cairo_set_line_width(c.cr(), 1.2);
  cairo_stroke(c.cr());
  if (checked) {
    cairo_arc(c.cr(), 6.5, 6.5, 3, 0, 6.283185307179586);
    SetColor(c.cr(), Hex(0x3A0CA3));
    cairo_fill(c.cr());
  }
  return c;
}

// A push-button piece, opaque to its corners (text buttons are hit on it): the round
// button over the windows' cream.
Canvas OpaqueButton(int w, int h, Rgb colour, State state) {
  Canvas c(w, h);
  cairo_rectangle(c.cr(), 0, 0, w, h);
  SetColor(c.cr(), Hex(0xFFF8E7));
  cairo_fill(c.cr());
  const Canvas button = ButtonPicture(w, h, Shape::Round, colour, Icon::None, state);
  cairo_set_source_surface(c.cr(), cairo_get_target(button.cr()), 0, 0);
  cairo_paint(c.cr());
  return c;
}

std::string ReadTga(const Canvas& picture, std::string* error) {
  CSLImage image;
  if (!picture.ToImage(&image)) {
    *error = "the TGA writer failed";
    return {};
  }
  return TgaFile(image, true, error);
}

}  // namespace

bool WriteFonts(Context& context, std::string* error) {
  const std::filesystem::path gfx = context.out / "Gfx";
  // 96 dots per inch: 8 pt is 11 pixels, 9 pt 12, 11 pt 15.
  return RunFntwrite(context, std::string(kDejaVu) + "DejaVuSansCondensed.ttf", 11, gfx / "Letra_8.FNT", {}, error) &&
         RunFntwrite(context, std::string(kDejaVu) + "DejaVuSans.ttf", 11, gfx / "Tahoma_8.FNT", {}, error) &&
         RunFntwrite(context, std::string(kComicNeue) + "ComicNeue-Bold.otf", 12, gfx / "ComicSans_9B.FNT",
                     {"--fallback", std::string(kDejaVu) + "DejaVuSans-Bold.ttf"}, error) &&
         RunFntwrite(context, std::string(kComicNeue) + "ComicNeue-Regular.otf", 15, gfx / "ComicSans_11.FNT",
                     {"--fallback", std::string(kDejaVu) + "DejaVuSans.ttf", "--kern", "AV:-2", "--kern", "To:-2",
                      "--kern", "Yo:-1"},
                     error);
}

const char* const kFontFiles[] = {"DejaVuSansCondensed.ttf", "DejaVuSans.ttf", "DejaVuSans-Bold.ttf",
                                  "ComicNeue-Bold.otf", "ComicNeue-Regular.otf"};

std::vector<std::string> RequiredFonts() {
  std::vector<std::string> fonts;
  for (const char* f : kFontFiles) fonts.push_back(std::string(f[0] == 'C' ? kComicNeue : kDejaVu) + f);
  return fonts;
}

bool WriteSkin(Context& context, std::string* error) {
  Atlas atlas;
  std::map<std::string, std::map<std::string, std::string>> sections;
  const Rgb violet = Hex(0x5A189A), cream = Hex(0xFFF8E7);

  // Captioned windows: an active caption in warm colours, an inactive one in grey.
  for (int active = 1; active >= 0; --active) {
    const char* section = active ? "WindowWithCaption_Active" : "WindowWithCaption_Inactive";
    const Rgb top = active ? Hex(0xFF9F1C) : Hex(0xADB5BD), bottom = active ? Hex(0xFF6F91) : Hex(0x8D99AE);
    auto& s = sections[section];
    s["Top"] = Element("PIEL", atlas.Place(CaptionBar(top, bottom)), 12, 0, 12, 0);
    s["Bottom"] = Element("PIEL", atlas.Place(Solid(24, 4, bottom)), 2, 0, 2, 0);
    s["Left"] = Element("PIEL", atlas.Place(Solid(4, 12, bottom)), 0, 0, 0, 0);
    s["Right"] = Element("PIEL", atlas.Place(Solid(4, 12, bottom)), 0, 0, 0, 0);
    s["NormalCaptionColor"] = active ? "(255,255,255); BorderColor: (90,24,154); BorderSize: (1)" : "(240,240,240)";
    s["DisabledCaptionColor"] = "(200,200,200)";
  }
  auto& common = sections["WindowWithCaption_Common"];
  common["Font"] = "FNT_TITULO";
  common["ClientBackground"] = "EXTRA; (0,0,32,32); (0,0,0,0); TileX, TileY";
  const char* kinds[4] = {"Min", "Max", "Restore", "Close"};
  const Icon icons[4] = {Icon::Down, Icon::Up, Icon::Scenes, Icon::Close};
  for (int k = 0; k < 4; ++k)
    for (State s : {State::Normal, State::Over, State::Click})
      common[std::string(kinds[k]) + "Button" + StateName(s)] =
          Glyph(atlas.Place(ButtonPicture(20, 20, Shape::Circle, Hex(k == 3 ? 0xEF476F : 0x4CC9F0), icons[k], s)));
  common["CaptionInfo"] = "10; 6; WIDTH-80; 20";
  common["CloseButtonInfo"] = "WIDTH-28; 5";
  common["MaxRestoreButtonInfo"] = "WIDTH-50; 5";
  common["MinButtonInfo"] = "WIDTH-72; 5";
  common["BorderSizeOverride"] = "4; 30; 4; 4";
  common["MinWindowSizeOverride"] = "120; 60";
  for (int active = 1; active >= 0; --active) {
    auto& s = sections[active ? "WindowWithoutCaption_Active" : "WindowWithoutCaption_Inactive"];
    const Rect edge = atlas.Place(Solid(4, 4, active ? Hex(0xFF6F91) : Hex(0x8D99AE)));
    for (const char* key : {"Top", "Bottom", "Left", "Right"}) s[key] = Element("PIEL", edge, 0, 0, 0, 0);
  }
  sections["WindowWithoutCaption_Common"]["ClientBackground"] = "EXTRA; (0,0,32,32); (0,0,0,0); TileX, TileY";

  // Push buttons: opaque in every state (text buttons are hit on their picture).
  auto& push = sections["PushButton"];
  push["Font"] = "FNT_NORMAL";
  for (State s : {State::Normal, State::Over, State::Click, State::Disabled})
    push[StateName(s)] = Element("PIEL", atlas.Place(OpaqueButton(48, 24, Hex(0xFFC75F), s)), 8, 8, 8, 8);
  push["Focused"] = Element("PIEL", atlas.Place(OpaqueButton(48, 24, Hex(0xFFD23F), State::Over)), 8, 8, 8, 8);
  push["NormalColor"] = "(58,12,163)";
  push["OverColor"] = "(90,24,154)";
  push["ClickColor"] = "(29,30,44)";
  push["DisabledColor"] = "(141,143,153)";
  push["FocusedColor"] = "(58,12,163)";

  // Check boxes and radio buttons.
  for (const char* kind : {"CheckBox", "RadioButton"}) {
    auto& s = sections[kind];
    s["Font"] = "FNT_NORMAL";
    const bool radio = kind[0] == 'R';
    for (int checked = 1; checked >= 0; --checked)
      for (State st : {State::Normal, State::Over, State::Click, State::Disabled}) {
        const Rgb ring = st == State::Disabled ? Hex(0xADB5BD) : st == State::Over ? Hex(0xFF6F91) : violet;
        const Canvas piece = radio ? RadioPiece(checked, ring)
                                   : GlyphPiece(13, checked ? Icon::Check : Icon::None, Hex(0x2DC653), Hex(0xFFFFFF));
        s[std::string(StateName(st)) + (checked ? "Checked" : "Unchecked")] = Glyph(atlas.Place(piece));
      }
    s["NormalColor"] = "(58,12,163)";
    s["OverColor"] = "(90,24,154)";
    s["ClickColor"] = "(29,30,44)";
    s["DisabledColor"] = "(141,143,153)";
  }

  // Text fields, labels, group boxes and the caret.
  auto& edit = sections["EditBox"];
  edit["Font"] = "FNT_NORMAL";
  edit["Normal"] = Element("PIEL", atlas.Place(PanelPiece(24, 24, Hex(0xFFFFFF), violet, 4)), 4, 4, 4, 4);
  edit["SelectedArea"] = Element("PIEL", atlas.Place(Solid(4, 4, Hex(0xFFD23F))), 0, 0, 0, 0);
  edit["NormalColor"] = "(29,30,44)";
  edit["OverColor"] = "(29,30,44)";
  edit["DisabledColor"] = "(141,143,153)";
  edit["SelectedColor"] = "(29,30,44)";
  auto& label = sections["Label"];
  label["Font"] = "FNT_NORMAL";
  label["NormalColor"] = "(58,12,163)";
  label["DisabledColor"] = "(141,143,153)";
  auto& group = sections["GroupBox"];
  group["Font"] = "FNT_NORMAL";
  group["Border"] = Element("PIEL", atlas.Place(PanelPiece(24, 24, Rgb{1, 1, 1, 0.35}, violet, 6)), 6, 6, 6, 6);
  group["NormalColor"] = "(90,24,154)";
  group["DisabledColor"] = "(141,143,153)";
  sections["Caret_Cursor"]["Normal"] = Element("PIEL", atlas.Place(Solid(2, 14, Hex(0xD00000))), 0, 0, 0, 0);

  // Scroll bars, the grow box and frames.
  for (int vertical = 0; vertical < 2; ++vertical) {
    auto& s = sections[vertical ? "Scrollbar_Vertical" : "Scrollbar_Horizontal"];
    for (State st : {State::Normal, State::Over, State::Click, State::Disabled}) {
      const std::string state = StateName(st);
      s[state + "Button"] = Element("PIEL", atlas.Place(ButtonPicture(17, 17, Shape::Round, Hex(0x4CC9F0), Icon::None, st)), 4, 4, 4, 4);
      s[state + "Thumb"] = Element("PIEL", atlas.Place(ButtonPicture(17, 17, Shape::Pill, Hex(0xFF9F1C), Icon::None, st)), 5, 5, 5, 5);
      const Rgb ink = st == State::Disabled ? Hex(0xADB5BD) : Hex(0x1D1E2C);
      s[state + (vertical ? "UpArrowGlyph" : "LeftArrowGlyph")] = Glyph(atlas.Place(GlyphPiece(9, vertical ? Icon::Up : Icon::Left, ink)));
      s[state + (vertical ? "DownArrowGlyph" : "RightArrowGlyph")] = Glyph(atlas.Place(GlyphPiece(9, vertical ? Icon::Down : Icon::Right, ink)));
      s[state + "ThumbGlyph"] = Glyph(atlas.Place(GlyphPiece(7, Icon::Stop, Hex(0xFFFFFF))));
    }
    s["TrackArea"] = Element("PIEL", atlas.Place(PanelPiece(17, 17, Hex(0xE0F4FF), Hex(0x90E0EF), 3, 1)), 2, 2, 2, 2);
  }
  auto& grow = sections["Scrollbar_Growbox"];
  grow["Normal"] = Element("PIEL", atlas.Place(PanelPiece(17, 17, Hex(0xE0F4FF), Hex(0x90E0EF), 3, 1)), 2, 2, 2, 2);
  grow["LeftGlyph"] = Glyph(atlas.Place(GlyphPiece(9, Icon::Left, Hex(0x1D1E2C))));
  grow["RightGlyph"] = Glyph(atlas.Place(GlyphPiece(9, Icon::Right, Hex(0x1D1E2C))));
  auto& frame = sections["Frame"];
  frame["Rectangle"] = Element("PIEL", atlas.Place(PanelPiece(16, 16, Rgb{1, 1, 1, 0}, Hex(0xD00000), 3, 2)), 4, 4, 4, 4);
  frame["Horizontal"] = Element("PIEL", atlas.Place(Solid(16, 2, violet)), 0, 0, 0, 0, "StretchX, TileY");
  frame["Vertical"] = Element("PIEL", atlas.Place(Solid(2, 16, violet)), 0, 0, 0, 0, "TileX, StretchY");

  // Menus and the menu bar.
  auto& menu = sections["Menu"];
  menu["Font"] = "FNT_NORMAL";
  menu["Normal"] = Element("PIEL", atlas.Place(PanelPiece(32, 32, cream, violet, 6)), 6, 6, 6, 6);
  menu["SelectedArea"] = Element("PIEL", atlas.Place(PanelPiece(16, 16, Hex(0xFFD23F), Hex(0xFF9F1C), 4, 1)), 3, 3, 3, 3);
  menu["HorizontalSeparator"] = Element("PIEL", atlas.Place(Solid(16, 2, Hex(0xC77DFF))), 0, 0, 0, 0);
  menu["VerticalSeparator"] = Element("PIEL", atlas.Place(Solid(2, 16, Hex(0xC77DFF))), 0, 0, 0, 0);
  const struct {
    const char* name;
    Icon icon;
  } marks[] = {{"CheckMarkGlyph", Icon::Check}, {"CheckedRadioMarkGlyph", Icon::Record}, {"UncheckedRadioMarkGlyph", Icon::None},
               {"SubmenuGlyph", Icon::Right},   {"MoreMenuUpGlyph", Icon::Up},          {"MoreMenuDownGlyph", Icon::Down}};
  for (const auto& m : marks)
    for (const char* state : {"Normal", "Selected", "Disabled"})
      menu[std::string(state) + m.name] =
          Glyph(atlas.Place(GlyphPiece(12, m.icon, state[0] == 'D' ? Hex(0xADB5BD) : Hex(0x3A0CA3))));
  menu["NormalColor"] = "(58,12,163)";
  menu["SelectedColor"] = "(29,30,44)";
  menu["DisabledColor"] = "(173,181,189)";
  auto& bar = sections["MenuBar"];
  bar["Font"] = "FNT_NORMAL";
  bar["Normal"] = Element("PIEL", atlas.Place(PanelPiece(24, 20, cream, violet, 0, 1)), 2, 2, 2, 2);
  bar["Disabled"] = Element("PIEL", atlas.Place(PanelPiece(24, 20, Hex(0xE9ECEF), Hex(0xADB5BD), 0, 1)), 2, 2, 2, 2);
  bar["SelectedArea"] = Element("PIEL", atlas.Place(PanelPiece(16, 16, Hex(0xFFD23F), Hex(0xFF9F1C), 4, 1)), 3, 3, 3, 3);
  bar["NormalColor"] = "(58,12,163)";
  bar["SelectedColor"] = "(29,30,44)";
  bar["DisabledColor"] = "(173,181,189)";

  // Sliders.
  for (int vertical = 0; vertical < 2; ++vertical) {
    auto& s = sections[vertical ? "Slider_Vertical" : "Slider_Horizontal"];
    for (State st : {State::Normal, State::Over, State::Click, State::Disabled})
      s[std::string(StateName(st)) + "Glyph"] =
          Glyph(atlas.Place(ButtonPicture(vertical ? 20 : 11, vertical ? 11 : 20, Shape::Pill, Hex(0xFF6F91), Icon::None, st)));
    s["Slider"] = vertical ? Element("PIEL", atlas.Place(PanelPiece(6, 24, Hex(0x90E0EF), Hex(0x0077B6), 3, 1)), 0, 3, 0, 3)
                           : Element("PIEL", atlas.Place(PanelPiece(24, 6, Hex(0x90E0EF), Hex(0x0077B6), 3, 1)), 3, 0, 3, 0);
  }

  // The grid.
  auto& grid = sections["Grid"];
  grid["Font"] = "FNT_NORMAL";
  grid["HeaderFont"] = "FNT_TITULO";
  grid["Normal"] = Element("PIEL", atlas.Place(PanelPiece(24, 24, Hex(0xFFFFFF), violet, 2, 1)), 2, 2, 2, 2);
  grid["SelectedArea"] = Element("PIEL", atlas.Place(Solid(4, 4, Hex(0xFFD23F))), 0, 0, 0, 0);
  grid["HorizontalSeparator"] = Element("PIEL", atlas.Place(Solid(16, 1, Hex(0xC77DFF))), 0, 0, 0, 0, "TileX, StretchY");
  grid["VerticalSeparator"] = Element("PIEL", atlas.Place(Solid(1, 16, Hex(0xC77DFF))), 0, 0, 0, 0, "StretchX, TileY");
  for (State st : {State::Normal, State::Over, State::Click, State::Disabled})
    grid[std::string(StateName(st)) + "Button"] =
        Element("PIEL", atlas.Place(ButtonPicture(32, 18, Shape::Round, Hex(0x80ED99), Icon::None, st)), 6, 6, 6, 6);
  for (const char* key : {"NormalColor", "OverColor", "SelectedColor", "NormalButtonColor", "OverButtonColor", "ClickButtonColor"})
    grid[key] = "(29,30,44)";
  grid["DisabledColor"] = grid["DisabledButtonColor"] = "(141,143,153)";

  auto& desktop = sections["Desktop"];
  desktop["IconFont"] = "FNT_NORMAL";
  desktop["NormalCaptionColor"] = "(255,255,255); BorderColor: (0,0,0); BorderSize: (1)";
  desktop["DisabledCaptionColor"] = "(128,128,128); BorderColor: (0,0,0); BorderSize: (1)";
  if (atlas.Overflowed()) {
    *error = "the skin pieces do not fit in 512 x 512";
    return false;
  }

  // The tiled client background, a second image read as TGA.
  Canvas extra(32, 32);
  cairo_rectangle(extra.cr(), 0, 0, 32, 32);
  SetColor(extra.cr(), cream);
  cairo_fill(extra.cr());
  Star(extra.cr(), 8, 8, 3, 1.3, 5, Hex(0xFFE5A8));
  Heart(extra.cr(), 24, 24, 6, Hex(0xFFE0E9));
  const std::string tga = ReadTga(extra, error);
  if (tga.empty()) return false;

  std::string layout =
      "; Piel del programa: colores alegres para niñas y niños.\r\n[Images]\r\nPIEL = piel.png\r\nEXTRA = "
      "piel_extra.tga\r\n\r\n[Fonts]\r\nFNT_NORMAL = Normal.FNT\r\nFNT_TITULO = Titulo.FNT\r\nFNT_COMIC = Comic.FNT\r\n";
  for (const auto& [section, keys] : sections) {
    layout += "\r\n[" + section + "]\r\n";
    for (const auto& [key, value] : keys) layout += key + " = " + value + "\r\n";
  }

  const std::filesystem::path fonts = Scratch(context, "piel");
  std::string normal, title, comic;
  if (!RunFntwrite(context, std::string(kDejaVu) + "DejaVuSans.ttf", 11, fonts / "Normal.FNT", {}, error) ||
      !RunFntwrite(context, std::string(kDejaVu) + "DejaVuSans-Bold.ttf", 13, fonts / "Titulo.FNT", {}, error) ||
      !RunFntwrite(context, std::string(kComicNeue) + "ComicNeue-Bold.otf", 12, fonts / "Comic.FNT",
                   {"--fallback", std::string(kDejaVu) + "DejaVuSans-Bold.ttf"}, error) ||
      !ReadBytes(fonts / "Normal.FNT", &normal) || !ReadBytes(fonts / "Titulo.FNT", &title) ||
      !ReadBytes(fonts / "Comic.FNT", &comic))
    return false;

  slpack::PackWriter pack(3, 0);
  auto add = [&](const char* name, const std::string& bytes) {
    pack.AddFile(name, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  };
  add("layout.inf", layout);
  add("piel.png", atlas.Picture().Png());
  add("piel_extra.tga", tga);
  add("Normal.FNT", normal);
  add("Titulo.FNT", title);
  add("Comic.FNT", comic);
  std::vector<uint8_t> bytes;
  return pack.Build(&bytes, error) && slpack::WriteFile(context.out / "Gfx" / "Skin.DAT", bytes, error);
}

}  // namespace contentgen
