// The full-screen pictures: the screens' backgrounds, the cinema hall and its audience,
// the loading flower and the editor's frame around the stage.
#include "tools/contentgen/Screens.h"

#include <algorithm>
#include <cmath>

namespace contentgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
const Rgb kInk = Hex(0x1D1E2C);
// No letter of a screen comes nearer its edges than this.
constexpr double kScreenMargin = 16;

// A titled panel: a soft white board with a coloured border.
void Panel(cairo_t* cr, double x, double y, double w, double h, Rgb border, double alpha = 0.85) {
  RoundRect(cr, x, y, w, h, 18);
  cairo_set_source_rgba(cr, 1, 1, 1, alpha);
  cairo_fill_preserve(cr);
  SetColor(cr, border);
  cairo_set_line_width(cr, 5);
  cairo_stroke(cr);
}

void Title(cairo_t* cr, const std::string& text, double x, double y, double size, Rgb fill = Hex(0xFFD23F)) {
  Text(cr, text, x + 3, y + 4, size, Rgb{0, 0, 0, 0.25}, Align::Center);
  Text(cr, text, x, y, size, fill, Align::Center, true, Hex(0x5A189A), size / 14);
}

// The editor's frame around the 664 x 372 stage at (108, 148).
void EditorFrameBackground(cairo_t* cr) {
  FillVertical(cr, 0, 0, 800, 600, Hex(0x8ECAE6), Hex(0xB8E0D2));
  for (int i = 0; i < 14; ++i) Cloud(cr, 20 + i * 60 % 780, 14 + (i * 37) % 60, 0.45, 0.7);
  Title(cr, "¡Luces, cámara, acción!", 400, 70, 44);
  FilmStrip(cr, 0, 88, 800, 24);
  RoundRect(cr, 114, 117, 300, 31, 8);
  SetColor(cr, Hex(0xFFFFFF, 0.75));
  cairo_fill(cr);
  RoundRect(cr, 14, 150, 86, 262, 12);
  SetColor(cr, Hex(0xFFFFFF, 0.6));
  cairo_fill(cr);
  // The labels at the size of the program's largest text, each inside its part of the
  // frame: "Elemento" in the left piece, "Escenas" in the bottom one beside the panels.
  Text(cr, "Elemento", 54, 440, 15, Hex(0x023047), Align::Center);
  RoundRect(cr, 36, 449, 47, 69, 6);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(0x219EBC));
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  RoundRect(cr, 116, 526, 328, 66, 10);
  RoundRect(cr, 466, 526, 240, 66, 10);
  SetColor(cr, Hex(0xFFFFFF, 0.6));
  cairo_fill(cr);
  Text(cr, "Escenas", 753, 565, 15, Hex(0x023047), Align::Center);
}

}  // namespace

static Canvas DrawWelcomeScreen() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  Landscape(cr, 800, 600, 11);
  FilmStrip(cr, 0, 22, 800, 46);
  Title(cr, "¡Bienvenidos!", 400, 190, 86);
  Text(cr, "Aquí vas a crear tus propias películas", 400, 262, 30, Hex(0x3A0CA3), Align::Center, true, Hex(0xFFFFFF), 3);
  Text(cr, "con personajes, escenarios, globos de diálogo y sonidos.", 400, 300, 24, Hex(0x3A0CA3), Align::Center,
       true, Hex(0xFFFFFF), 3);
  DrawIcon(cr, Icon::Clapper, 250, 400, 120, kInk);
  DrawIcon(cr, Icon::Camera, 550, 400, 120, Hex(0x4361EE));
  Star(cr, 400, 390, 40, 17, 5, Hex(0xFFD23F));
  Text(cr, "Pulsa «Seguir» para empezar", 672, 540, 18, Hex(0xFFFFFF), Align::Right, true, Hex(0x2D6A4F), 2);
  return c;
}

static Canvas DrawStartMenuScreen() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  Landscape(cr, 800, 600, 23);
  Title(cr, "¿Qué quieres hacer hoy?", 400, 80, 52);
  Panel(cr, 38, 96, 354, 400, Hex(0xFF6F91), 0.6);
  Panel(cr, 405, 96, 354, 400, Hex(0x4CC9F0), 0.6);
  Text(cr, "Inventa una película", 215, 478, 26, Hex(0x9D0208), Align::Center, true, Hex(0xFFFFFF), 3);
  Text(cr, "Mira cómo se arma", 582, 478, 26, Hex(0x023E8A), Align::Center, true, Hex(0xFFFFFF), 3);
  Text(cr, "¿Necesitas ayuda?", 754, 576, 18, Hex(0xFFFFFF), Align::Right, true, Hex(0x2D6A4F), 2);
  return c;
}

static Canvas DrawLoadingScreen() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  FillVertical(cr, 0, 0, 800, 600, Hex(0x3A0CA3), Hex(0x7209B7));
  for (int i = 0; i < 40; ++i)
    Star(cr, 30 + (i * 197) % 740, 20 + (i * 113) % 260, 4 + i % 4, 2, 5, Hex(0xFFF3B0, 0.8));
  Title(cr, "Cargando...", 400, 110, 64);
  Text(cr, "Mientras tanto, mira cómo crece la flor", 400, 170, 24, Hex(0xFFFFFF), Align::Center);
  // The pot the flower grows from (the flower is drawn at 248, 306, 304 x 256).
  cairo_move_to(cr, 340, 556);
  cairo_line_to(cr, 460, 556);
  cairo_line_to(cr, 445, 600);
  cairo_line_to(cr, 355, 600);
  cairo_close_path(cr);
  SetColor(cr, Hex(0xE76F51));
  cairo_fill(cr);
  RoundRect(cr, 330, 548, 140, 16, 6);
  SetColor(cr, Hex(0xF4A261));
  cairo_fill(cr);
  return c;
}

static Canvas DrawAdvertScreen() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  Landscape(cr, 800, 600, 37);
  Panel(cr, 90, 110, 620, 330, Hex(0xC77DFF));
  Title(cr, "¡Gracias por jugar!", 400, 190, 58);
  Text(cr, "Muy pronto vas a encontrar más personajes,", 400, 260, 26, Hex(0x3A0CA3), Align::Center);
  Text(cr, "escenarios y objetos para tus películas.", 400, 296, 26, Hex(0x3A0CA3), Align::Center);
  Text(cr, "¡Comparte tus historias con tu familia y amigos!", 400, 350, 22, Hex(0x9D0208), Align::Center);
  for (int i = 0; i < 5; ++i) Heart(cr, 160 + i * 120, 400, 28, Hex(i % 2 ? 0xFF6F91 : 0xFF9F1C));
  Text(cr, "Pulsa una tecla para continuar", 400, 575, 18, Hex(0xFFFFFF), Align::Center, true, Hex(0x2D6A4F), 2);
  return c;
}

static Canvas DrawCreditsScreen() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  FillVertical(cr, 0, 0, 800, 600, Hex(0x10002B), Hex(0x3C096C));
  for (int i = 0; i < 60; ++i)
    Star(cr, 15 + (i * 263) % 770, 10 + (i * 151) % 580, 2 + i % 3, 1, 5, Hex(0xFFFFFF, 0.7));
  Title(cr, "Créditos", 400, 90, 60);
  const char* lines[] = {
      "Dibujos, sonidos y música hechos con cariño para este programa.",
      "",
      "Letras libres:",
      "DejaVu Sans y DejaVu Sans Condensed (fuentes DejaVu)",
      "Comic Neue",
      "",
      "Voces de la síntesis de habla libre eSpeak NG.",
      "",
      "¡Gracias a todas las niñas y niños que inventan historias!",
  };
  double y = 170;
  for (const char* line : lines) {
    // Every line within the screen's margins: a long one is set smaller.
    double size = 24;
    while (size > 12 && TextWidth(cr, line, size, false, "DejaVu Sans") > 800 - 2 * kScreenMargin - 8) size -= 1;
    Text(cr, line, 400, y, size, Hex(0xFFF3B0), Align::Center, false, {}, 0, "DejaVu Sans");
    y += 38;
  }
  Text(cr, "Pulsa una tecla para salir", 400, 575, 18, Hex(0xFFFFFF), Align::Center);
  return c;
}

static Canvas DrawWorkshopScreen() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  FillVertical(cr, 0, 0, 800, 600, Hex(0xFFE8D6), Hex(0xFFB997));
  for (int i = 0; i < 20; ++i) {
    cairo_rectangle(cr, 0, i * 30, 800, 1);
    cairo_set_source_rgba(cr, 0.6, 0.35, 0.2, 0.15);
    cairo_fill(cr);
  }
  Title(cr, "Taller de construcción", 400, 62, 46, Hex(0xFFFFFF));
  Panel(cr, 6, 88, 240, 390, Hex(0xF4A261));       // the boxes
  // The video list's rows (x 254 to 334) on a strip of their own, whose green keeps both
  // of the list's caption colours readable: the purple of the rows and the white of the
  // chosen row, which the list darkens by a quarter.
  RoundRect(cr, 251, 91, 85, 384, 10);
  SetColor(cr, Hex(0x28C898));
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(0x1B7F66));
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  Panel(cr, 338, 94, 452, 344, Hex(0x2A9D8F));     // the video
  cairo_rectangle(cr, 348, 104, 432, 324);
  SetColor(cr, Hex(0x1D1E2C));
  cairo_fill(cr);
  Text(cr, "Elige una caja y mira sus videos", 564, 272, 22, Hex(0xFFFFFF), Align::Center);
  Panel(cr, 446, 426, 348, 110, Hex(0x2A9D8F), 0.7);
  Text(cr, "Pide ayuda a un adulto para usar tijeras y pegamento.", 400, 580, 18, Hex(0x6A040F), Align::Center);
  return c;
}

static Canvas DrawCinemaHall() {
  Canvas c(800, 600);
  cairo_t* cr = c.cr();
  FillVertical(cr, 0, 0, 800, 600, Hex(0x3D0C11), Hex(0x1A0306));
  // Curtains at both sides and a pelmet over the screen.
  for (int side = 0; side < 2; ++side)
    for (int fold = 0; fold < 6; ++fold) {
      const double x = side ? 732 + fold * 11.5 : fold * 11.5;
      FillVertical(cr, x, 60, 11.5, 400, Hex(fold % 2 ? 0xC1121F : 0x9D0208), Hex(0x6A040F));
    }
  FillVertical(cr, 0, 0, 800, 78, Hex(0xC1121F), Hex(0x780000));
  for (int i = 0; i < 16; ++i) {
    cairo_arc(cr, 25 + i * 50, 74, 25, 0, kPi);
    SetColor(cr, Hex(0x9D0208));
    cairo_fill(cr);
  }
  Text(cr, "Cine", 400, 48, 36, Hex(0xFFD23F), Align::Center, true, Hex(0x3D0C11), 3);
  cairo_rectangle(cr, 68, 78, 664, 372);
  SetColor(cr, Hex(0x000000));
  cairo_fill(cr);
  FillVertical(cr, 0, 450, 800, 150, Hex(0x2B0A0E), Hex(0x120204));
  for (int i = 0; i < 30; ++i) {
    cairo_arc(cr, 10 + i * 28, 520, 4, 0, 2 * kPi);
    SetColor(cr, Hex(0xFFD23F, 0.5));
    cairo_fill(cr);
  }
  return c;
}

// The audience: heads and shoulders in rows; `cheer` 0 calm, 1 and 2 the two applause poses.
Canvas Audience(int height, int cheer) {
  Canvas c(800, height);
  cairo_t* cr = c.cr();
  const uint32_t hair[5] = {0x3E2723, 0x6D4C41, 0xF4D35E, 0x1B1B1B, 0xA0522D};
  const uint32_t shirts[6] = {0xFF6F91, 0x4CC9F0, 0xFFC75F, 0x80ED99, 0xC77DFF, 0xF77F00};
  for (int row = 0; row < 2; ++row)
    for (int i = 0; i < 17; ++i) {
      const double x = 24 + i * 48 + (row ? 24 : 0), base = height - (row ? 0 : 46);
      const double bounce = cheer && (i + row + cheer) % 2 ? -5 : 0;
      const double y = base - 58 + bounce;
      if (cheer) {  // raised arms, one pose up, the other clapping
        cairo_set_line_width(cr, 7);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        SetColor(cr, Hex(0xFFD6A5));
        const double reach = (i + cheer) % 2 ? 40 : 22;
        cairo_move_to(cr, x - 16, y + 40);
        cairo_line_to(cr, x - 22, y + 40 - reach);
        cairo_move_to(cr, x + 16, y + 40);
        cairo_line_to(cr, x + 22, y + 40 - reach);
        cairo_stroke(cr);
      }
      RoundRect(cr, x - 22, y + 34, 44, 60, 16);
      SetColor(cr, Shade(Hex(shirts[(i + row * 2) % 6]), row ? -0.55 : -0.35));
      cairo_fill(cr);
      cairo_arc(cr, x, y + 18, 17, 0, 2 * kPi);
      SetColor(cr, Shade(Hex(hair[(i * 3 + row) % 5]), row ? -0.4 : -0.2));
      cairo_fill(cr);
    }
  return c;
}

// One frame of the growing flower: near white, so the screen's tint gives its colour.
Canvas FlowerFrame(int frame) {
  Canvas c(304, 256);
  cairo_t* cr = c.cr();
  const double g = frame / 34.0;
  const double top = 250 - 170 * std::min(1.0, g * 1.4);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, 152, 256);
  cairo_curve_to(cr, 140, 200, 165, 160, 152, top);
  cairo_set_line_width(cr, 7);
  cairo_set_source_rgba(cr, 0.85, 0.85, 0.85, 1);
  cairo_stroke_preserve(cr);
  cairo_set_line_width(cr, 4);
  cairo_set_source_rgba(cr, 1, 1, 1, 1);
  cairo_stroke(cr);
  const int leaves = std::min(4, frame / 6);
  for (int i = 0; i < leaves; ++i) {
    const double y = 236 - i * 36, dir = i % 2 ? 1 : -1;
    cairo_save(cr);
    cairo_translate(cr, 152, y);
    cairo_rotate(cr, dir * 0.6);
    cairo_scale(cr, 1.0, 0.45);
    cairo_arc(cr, dir * 26, 0, 24, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_set_source_rgba(cr, 0.93, 0.93, 0.93, 1);
    cairo_fill_preserve(cr);
    cairo_set_source_rgba(cr, 0.7, 0.7, 0.7, 1);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
  }
  if (frame >= 14) {
    const double open = std::min(1.0, (frame - 14) / 20.0);
    Flower(cr, 152, top, 40 + 90 * open, Rgb{0.97, 0.97, 0.97, 1}, open);
  } else if (frame >= 8) {
    cairo_arc(cr, 152, top, 6 + frame - 8, 0, 2 * kPi);
    cairo_set_source_rgba(cr, 0.95, 0.95, 0.95, 1);
    cairo_fill(cr);
  }
  return c;
}

Canvas FramePiece(int x, int y, int w, int h) {
  Canvas c(w, h);
  cairo_t* cr = c.cr();
  cairo_translate(cr, -x, -y);
  EditorFrameBackground(cr);
  return c;
}

// An 8 x 8 inner corner: the frame outside a quarter circle, clear inside (cx, cy: the
// corner's centre of curvature in the piece).
Canvas InnerCorner(int x, int y, double cx, double cy) {
  Canvas c(8, 8);
  cairo_t* cr = c.cr();
  cairo_save(cr);
  cairo_translate(cr, -x, -y);
  EditorFrameBackground(cr);
  cairo_restore(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_arc(cr, cx, cy, 8, 0, 2 * kPi);
  cairo_fill(cr);
  return c;
}


// A screen drawn twice: once to find where its letters fall, then for real with every
// decoration kept off them, so stars and flowers never cross a text.
static Canvas TextClear(Canvas (*draw)()) {
  std::vector<LayoutBox> boxes;
  std::vector<LayoutBox>* outer = RecordLayout(&boxes);
  const std::vector<LayoutBox>* keep = KeepDecorationsOff(nullptr);
  { Canvas first = draw(); }
  RecordLayout(outer);
  KeepDecorationsOff(&boxes);
  Canvas screen = draw();
  KeepDecorationsOff(keep);
  return screen;
}

Canvas WelcomeScreen() { return TextClear(DrawWelcomeScreen); }
Canvas StartMenuScreen() { return TextClear(DrawStartMenuScreen); }
Canvas LoadingScreen() { return TextClear(DrawLoadingScreen); }
Canvas AdvertScreen() { return TextClear(DrawAdvertScreen); }
Canvas CreditsScreen() { return TextClear(DrawCreditsScreen); }
Canvas WorkshopScreen() { return TextClear(DrawWorkshopScreen); }
Canvas CinemaHall() { return TextClear(DrawCinemaHall); }

// The editor's whole frame, as its pieces are cut from it.
static Canvas EditorFrame() { return FramePiece(0, 0, 800, 600); }

std::vector<std::pair<std::string, std::vector<LayoutBox>>> ScreenLayouts() {
  const std::pair<const char*, Canvas (*)()> screens[] = {
      {"Principal", EditorFrame},
      {"Bienvenida", WelcomeScreen}, {"Menu Inicial", StartMenuScreen}, {"Carga Inicial", LoadingScreen},
      {"Propaganda", AdvertScreen},  {"Créditos", CreditsScreen},       {"Construcción", WorkshopScreen},
      {"Visor Películas", CinemaHall}};
  std::vector<std::pair<std::string, std::vector<LayoutBox>>> out;
  for (const auto& [name, draw] : screens) {
    std::vector<LayoutBox> boxes;
    std::vector<LayoutBox>* outer = RecordLayout(&boxes);
    { Canvas screen = draw(); }
    RecordLayout(outer);
    out.emplace_back(name, std::move(boxes));
  }
  return out;
}

}  // namespace contentgen
