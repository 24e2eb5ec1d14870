// The graphics pack: every interface picture the program loads by name, and the pictures
// of the building boxes.
#include <cmath>
#include <cstdio>
#include <functional>

#include "tools/contentgen/Content.h"
#include "tools/contentgen/Drawing.h"
#include "tools/contentgen/Pictures.h"
#include "tools/contentgen/Screens.h"
#include "tools/mximgwrite/MximgWriter.h"
#include "tools/slpack/PackWriter.h"

namespace contentgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
const Rgb kInk = Hex(0x1D1E2C);

std::string WithState(std::string pattern, const char* state) {
  const size_t at = pattern.find("%s");
  pattern.replace(at, 2, state);
  const size_t second = pattern.find("%s");
  if (second != std::string::npos) pattern.erase(second, 2);
  return pattern;
}

const State kFour[] = {State::Normal, State::Over, State::Click, State::Disabled};
const State kThree[] = {State::Normal, State::Over, State::Click};

// Buttons of every state named by `pattern` ("%s" the state, a second "%s" empty).
void Buttons(PictureSet& set, const std::string& pattern, int states, int w, int h, Shape shape, Rgb colour, Icon icon,
             const std::string& caption = "", double captionSize = 0) {
  for (int i = 0; i < states; ++i) {
    const State s = states == 4 ? kFour[i] : kThree[i];
    set.Add(WithState(pattern, StateName(s)), ButtonPicture(w, h, shape, colour, icon, s, caption, captionSize));
  }
}

Canvas ThumbnailFrame() {
  Canvas c(49, 36);
  cairo_t* cr = c.cr();
  RoundRect(cr, 0, 0, 49, 36, 3);
  SetColor(cr, Hex(0x2B2D42));
  cairo_fill(cr);
  for (int i = 0; i < 6; ++i) {
    cairo_rectangle(cr, 3 + i * 8, 2.5, 4, 4);
    SetColor(cr, Hex(0xF8F9FA));
    cairo_fill(cr);
  }
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr, 3, 9, 43, 24);
  cairo_fill(cr);
  return c;
}

Canvas Pointer() {
  Canvas c(32, 32);
  cairo_t* cr = c.cr();
  // The tip one pixel in from the corner (the hot spot is set there), so the outline
  // runs clear of the picture's edges.
  cairo_move_to(cr, 2, 2);
  cairo_line_to(cr, 2, 25);
  cairo_line_to(cr, 8, 20);
  cairo_line_to(cr, 12, 29);
  cairo_line_to(cr, 16, 27);
  cairo_line_to(cr, 12, 18);
  cairo_line_to(cr, 20, 18);
  cairo_close_path(cr);
  SetColor(cr, Hex(0xFFD23F));
  cairo_fill_preserve(cr);
  cairo_set_line_width(cr, 1.5);
  SetColor(cr, kInk);
  cairo_stroke(cr);
  Star(cr, 24, 8, 6, 2.5, 5, Hex(0xFF6F91));
  return c;
}

Canvas Crosshair() {
  Canvas c(21, 21);
  cairo_t* cr = c.cr();
  cairo_set_line_width(cr, 4);
  cairo_set_source_rgba(cr, 0.3, 0.3, 0.3, 0.8);
  cairo_arc(cr, 10.5, 10.5, 6, 0, 2 * kPi);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 2);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_arc(cr, 10.5, 10.5, 6, 0, 2 * kPi);
  cairo_move_to(cr, 10.5, 0);
  cairo_line_to(cr, 10.5, 21);
  cairo_move_to(cr, 0, 10.5);
  cairo_line_to(cr, 21, 10.5);
  cairo_stroke(cr);
  return c;
}

Canvas Pixel(uint32_t rgb) {
  Canvas c(1, 1);
  cairo_rectangle(c.cr(), 0, 0, 1, 1);
  SetColor(c.cr(), Hex(rgb));
  cairo_fill(c.cr());
  return c;
}

enum class Sign { Error, Information, Question, Warning, BulbElectric, BulbIdea, Bin, BinOpen, BinFull };

Canvas SignIcon(Sign sign) {
  Canvas c(32, 32);
  cairo_t* cr = c.cr();
  auto disc = [&](uint32_t rgb, const char* mark) {
    cairo_arc(cr, 16, 16, 14.5, 0, 2 * kPi);
    SetColor(cr, Hex(rgb));
    cairo_fill_preserve(cr);
    SetColor(cr, Shade(Hex(rgb), -0.4));
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    Text(cr, mark, 16, 25, 23, Hex(0xFFFFFF), Align::Center, true, {}, 0, "DejaVu Sans");
  };
  switch (sign) {
    case Sign::Error: disc(0xE63946, "×"); break;
    case Sign::Information: disc(0x4361EE, "i"); break;
    case Sign::Question: disc(0x2A9D8F, "?"); break;
    case Sign::Warning:
      cairo_move_to(cr, 16, 2);
      cairo_line_to(cr, 30.5, 29);
      cairo_line_to(cr, 1.5, 29);
      cairo_close_path(cr);
      SetColor(cr, Hex(0xFFC300));
      cairo_fill_preserve(cr);
      SetColor(cr, kInk);
      cairo_set_line_width(cr, 2);
      cairo_stroke(cr);
      Text(cr, "!", 16, 27, 19, kInk, Align::Center, true, {}, 0, "DejaVu Sans");
      break;
    case Sign::BulbElectric: case Sign::BulbIdea: {
      const bool idea = sign == Sign::BulbIdea;
      cairo_arc(cr, 16, 13, 10, 0, 2 * kPi);
      SetColor(cr, Hex(idea ? 0xFFE066 : 0xE9ECEF));
      cairo_fill_preserve(cr);
      SetColor(cr, kInk);
      cairo_set_line_width(cr, 1.5);
      cairo_stroke(cr);
      cairo_rectangle(cr, 11, 23, 10, 7);
      SetColor(cr, Hex(0x8D99AE));
      cairo_fill(cr);
      if (idea)
        for (int i = 0; i < 5; ++i) {
          const double a = -kPi + i * kPi / 4;
          cairo_move_to(cr, 16 + std::cos(a) * 12, 13 + std::sin(a) * 12);
          cairo_line_to(cr, 16 + std::cos(a) * 15, 13 + std::sin(a) * 15);
        }
      SetColor(cr, Hex(0xF77F00));
      cairo_stroke(cr);
      break;
    }
    case Sign::Bin: case Sign::BinOpen: case Sign::BinFull:
      cairo_move_to(cr, 7, 9);
      cairo_line_to(cr, 25, 9);
      cairo_line_to(cr, 23, 30);
      cairo_line_to(cr, 9, 30);
      cairo_close_path(cr);
      SetColor(cr, Hex(0x52B788));
      cairo_fill_preserve(cr);
      SetColor(cr, kInk);
      cairo_set_line_width(cr, 1.5);
      cairo_stroke(cr);
      if (sign == Sign::BinFull) {
        cairo_arc(cr, 12, 8, 4, 0, 2 * kPi);
        cairo_arc(cr, 19, 6, 4, 0, 2 * kPi);
        SetColor(cr, Hex(0xFFC75F));
        cairo_fill(cr);
      }
      cairo_save(cr);
      if (sign == Sign::BinOpen) cairo_rotate(cr, -0.35);
      cairo_rectangle(cr, sign == Sign::BinOpen ? 2 : 5, sign == Sign::BinOpen ? 8 : 4, 22, 4);
      SetColor(cr, Hex(0x2D6A4F));
      cairo_fill(cr);
      cairo_restore(cr);
      break;
  }
  return c;
}

// The helper owl in six poses, each with a small sign of what it says.
Canvas Assistant(int pose) {
  Canvas c(120, 150);
  cairo_t* cr = c.cr();
  const double wing = (pose % 3 - 1) * 0.5;
  for (int side = -1; side <= 1; side += 2) {
    cairo_save(cr);
    cairo_translate(cr, 60 + side * 34, 86);
    cairo_rotate(cr, side * (0.3 + (pose == 1 && side > 0 ? -1.4 : wing)));
    cairo_scale(cr, 0.45, 1);
    cairo_arc(cr, 0, 14, 26, 0, 2 * kPi);
    cairo_restore(cr);
    SetColor(cr, Hex(0x7F5539));
    cairo_fill(cr);
  }
  cairo_save(cr);
  cairo_translate(cr, 60, 88);
  cairo_scale(cr, 1, 1.2);
  cairo_arc(cr, 0, 0, 38, 0, 2 * kPi);
  cairo_restore(cr);
  SetColor(cr, Hex(0xB08968));
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, 60, 104);
  cairo_scale(cr, 1, 1.2);
  cairo_arc(cr, 0, 0, 22, 0, 2 * kPi);
  cairo_restore(cr);
  SetColor(cr, Hex(0xEDE0D4));
  cairo_fill(cr);
  for (int side = -1; side <= 1; side += 2) {
    cairo_arc(cr, 60 + side * 15, 66, 13, 0, 2 * kPi);
    SetColor(cr, Hex(0xFFFFFF));
    cairo_fill(cr);
    if (pose == 5) {
      cairo_move_to(cr, 60 + side * 15 - 8, 66);
      cairo_line_to(cr, 60 + side * 15 + 8, 66);
      SetColor(cr, kInk);
      cairo_set_line_width(cr, 2);
      cairo_stroke(cr);
    } else {
      cairo_arc(cr, 60 + side * 15 + (pose == 2 ? 3 : 0), 67 - (pose == 2 ? 3 : 0), 6, 0, 2 * kPi);
      SetColor(cr, kInk);
      cairo_fill(cr);
    }
  }
  cairo_move_to(cr, 54, 78);
  cairo_line_to(cr, 66, 78);
  cairo_line_to(cr, 60, 88);
  cairo_close_path(cr);
  SetColor(cr, Hex(0xF77F00));
  cairo_fill(cr);
  cairo_move_to(cr, 34, 40);
  cairo_line_to(cr, 40, 22);
  cairo_line_to(cr, 50, 38);
  cairo_move_to(cr, 86, 40);
  cairo_line_to(cr, 80, 22);
  cairo_line_to(cr, 70, 38);
  SetColor(cr, Hex(0x7F5539));
  cairo_fill(cr);
  const Icon props[6] = {Icon::Check, Icon::Help, Icon::Scenes, Icon::Music, Icon::Clapper, Icon::None};
  if (pose == 0) Star(cr, 100, 22, 14, 6, 5, Hex(0xFFD23F));
  else if (pose == 5) Text(cr, "z z", 98, 28, 18, Hex(0x4361EE), Align::Center);
  else DrawIcon(cr, props[pose], 100, 22, 30, Hex(0x3A0CA3));
  return c;
}

// The speech-balloon atlas, 128 x 128: light body, dark edges; each block holds its top,
// body and bottom rows at the places the balloon drawing cuts them from. The body rows
// are stretched to the height of the text, so they hold only the fill and the two sides:
// the top edge with its rounded corners lies wholly in the top rows and the bottom edge
// in the bottom rows, beside the tail.
Canvas BalloonAtlas() {
  Canvas atlas(128, 128);
  cairo_t* out = atlas.cr();
  // Draws a 31 x 23 balloon on a scratch canvas. Tail below: 4 top rows, 9 body rows (4 to
  // 12) and 10 bottom rows, the bottom edge on row 16 and the tail under it. Tail above: 10
  // top rows, the top edge on row 6 and the tail over it, 9 body rows (10 to 18) and 4
  // bottom rows. A corner's radius stays within the 4 rows between an edge and the body.
  auto balloon = [](bool tailRight, bool tailDown, bool cloudy, bool odd) {
    Canvas c(31, 23);
    cairo_t* cr = c.cr();
    const Rgb body = odd ? Hex(0xFFFFFF) : Hex(0xFFF3B0), edge = odd ? Hex(0x1D1E2C) : Hex(0x6A040F);
    const double y0 = tailDown ? 0.5 : 6.5, y1 = tailDown ? 16.5 : 22.5;
    cairo_set_line_width(cr, 1.4);
    RoundRect(cr, 0.7, y0, 29.6, y1 - y0, cloudy ? 3.5 : 3.2);
    SetColor(cr, body);
    cairo_fill_preserve(cr);
    SetColor(cr, edge);
    if (cloudy) {
      const double dash[2] = {2.0, 1.5};
      cairo_set_dash(cr, dash, 2, 0);
    }
    cairo_stroke(cr);
    // The tail opens into the box: its fill covers the edge across its base, and only its
    // two sides are outlined.
    const double tx = tailRight ? 22 : 8, dir = tailRight ? 1 : -1;
    const double base = tailDown ? y1 - 1.5 : y0 + 1.5, tip = tailDown ? 21.8 : 1.2;
    cairo_move_to(cr, tx - 5 * dir, base);
    cairo_line_to(cr, tx + 3 * dir, tip);
    cairo_line_to(cr, tx + 1 * dir, base);
    cairo_close_path(cr);
    SetColor(cr, body);
    cairo_fill(cr);
    // The sides start where they cross the box's edge.
    const double edgeY = tailDown ? y1 : y0, t = (edgeY - base) / (tip - base);
    cairo_move_to(cr, tx - 5 * dir + t * 8 * dir, edgeY);
    cairo_line_to(cr, tx + 3 * dir, tip);
    cairo_line_to(cr, tx + 1 * dir + t * 2 * dir, edgeY);
    SetColor(cr, edge);
    cairo_stroke(cr);
    return c;
  };
  auto copy = [&](const Canvas& from, int sy, int h, int dx, int dy) {
    cairo_save(out);
    cairo_rectangle(out, dx, dy, 31, h);
    cairo_clip(out);
    cairo_surface_t* s = cairo_get_target(from.cr());
    cairo_set_source_surface(out, s, dx, dy - sy);
    cairo_paint(out);
    cairo_restore(out);
  };
  for (int style = 1; style <= 16; ++style) {
    const bool odd = style % 2 == 1, cloudy = style >= 9;
    const bool tailDown = (style - 1) % 8 < 4;
    const int col = tailDown ? (odd ? 0 : 32) : (odd ? 64 : 96), row = cloudy ? 52 : 0;
    const bool tailRight = (style - 1) % 4 < 2;
    if (!tailRight) continue;  // each block holds both tails; draw it once
    const Canvas right = balloon(true, tailDown, cloudy, odd), left = balloon(false, tailDown, cloudy, odd);
    if (tailDown) {
      copy(right, 0, 4, col, row);        // top
      copy(right, 4, 9, col, row + 5);    // body
      copy(right, 13, 10, col, row + 15); // bottom, tail right
      copy(left, 13, 10, col, row + 41);  // bottom, tail left
    } else {
      copy(right, 0, 10, col, row);       // top, tail right
      copy(right, 10, 9, col, row + 11);  // body
      copy(right, 19, 4, col, row + 21);  // bottom
      copy(left, 0, 10, col, row + 26);   // top, tail left
    }
  }
  // Plain boxes (30 x 12 in three bands at rows 104, 107, 114).
  for (int k = 0; k < 2; ++k) {
    Canvas c(30, 12);
    RoundRect(c.cr(), 0.5, 0.5, 29, 11, 2);
    SetColor(c.cr(), k ? Hex(0xFFF3B0) : Hex(0xFFFFFF));
    cairo_fill_preserve(c.cr());
    SetColor(c.cr(), Hex(0x1D1E2C));
    cairo_set_line_width(c.cr(), 1);
    cairo_stroke(c.cr());
    const int x = k ? 31 : 0;
    const int bands[3][3] = {{0, 2, 104}, {2, 8, 107}, {10, 2, 114}};
    for (const auto& b : bands) {
      cairo_save(out);
      cairo_rectangle(out, x, b[2], 30, b[1]);
      cairo_clip(out);
      cairo_set_source_surface(out, cairo_get_target(c.cr()), x, b[2] - b[0]);
      cairo_paint(out);
      cairo_restore(out);
    }
  }
  return atlas;
}

// A start-up dialog icon, 96 x 96, with a glow when the pointer is over it.
Canvas DialogIcon(Icon icon, Rgb colour, bool over) {
  Canvas c(96, 96);
  cairo_t* cr = c.cr();
  if (over) {
    cairo_pattern_t* p = cairo_pattern_create_radial(48, 48, 30, 48, 48, 48);
    cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 0.6, 0.9);
    cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 0.6, 0);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
  }
  cairo_arc(cr, 48, 48, 38, 0, 2 * kPi);
  SetColor(cr, over ? Shade(colour, 0.25) : colour);
  cairo_fill_preserve(cr);
  SetColor(cr, Shade(colour, -0.45));
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  DrawIcon(cr, icon, 48, 48, 52, kInk);
  return c;
}

// A building box: its picture and its name on a cardboard lid. The box buttons stand at
// x 12; the lid ends by x 244, inside the boxes' panel and clear of the video list at 254.
Canvas BoxPicture(int box, State state) {
  Canvas c(232, 110);
  cairo_t* cr = c.cr();
  const double shift = state == State::Click ? 2 : 0;
  // Inset so the outline (up to 4 px wide) stays clear of the picture's edge.
  RoundRect(cr, 3, 3 + shift, 226, 102, 12);
  SetColor(cr, state == State::Over ? Hex(0xF7C59F) : state == State::Click ? Hex(0xD4A373) : Hex(0xE9C46A));
  cairo_fill_preserve(cr);
  SetColor(cr, state == State::Over ? Hex(0xFFFFFF) : Hex(0x7F5539));
  cairo_set_line_width(cr, state == State::Over ? 4 : 2.5);
  cairo_stroke(cr);
  cairo_rectangle(cr, 10, 10 + shift, 96, 88);
  SetColor(cr, Hex(0xBDE0FE));
  cairo_fill(cr);
  if (box == 1) {  // a little house
    cairo_rectangle(cr, 30, 52 + shift, 56, 40);
    SetColor(cr, Hex(0xFFAFCC));
    cairo_fill(cr);
    cairo_move_to(cr, 24, 54 + shift);
    cairo_line_to(cr, 58, 24 + shift);
    cairo_line_to(cr, 92, 54 + shift);
    cairo_close_path(cr);
    SetColor(cr, Hex(0xC1121F));
    cairo_fill(cr);
    cairo_rectangle(cr, 52, 68 + shift, 14, 24);
    SetColor(cr, Hex(0x7F5539));
    cairo_fill(cr);
  } else {  // a rocket
    cairo_move_to(cr, 58, 16 + shift);
    cairo_curve_to(cr, 80, 34 + shift, 76, 70 + shift, 70, 84 + shift);
    cairo_line_to(cr, 46, 84 + shift);
    cairo_curve_to(cr, 40, 70 + shift, 36, 34 + shift, 58, 16 + shift);
    SetColor(cr, Hex(0xF1FAEE));
    cairo_fill(cr);
    cairo_arc(cr, 58, 46 + shift, 8, 0, 2 * kPi);
    SetColor(cr, Hex(0x4CC9F0));
    cairo_fill(cr);
    cairo_move_to(cr, 48, 84 + shift);
    cairo_line_to(cr, 58, 98 + shift);
    cairo_line_to(cr, 68, 84 + shift);
    SetColor(cr, Hex(0xF77F00));
    cairo_fill(cr);
  }
  const char* names[2][2] = {{"La casita", "de cartón"}, {"El cohete", "espacial"}};
  Text(cr, names[box - 1][0], 169, 48 + shift, 22, Hex(0x6A040F), Align::Center);
  Text(cr, names[box - 1][1], 169, 74 + shift, 20, Hex(0x6A040F), Align::Center);
  return c;
}

}  // namespace

// The building-box screen: its background, the player's buttons and slider, the list
// arrows and one box per name ("Caja" and five characters, digits for a real box).
void AddBuildingScreen(PictureSet& set, const std::vector<std::string>& boxes) {
  const std::string build = "Interface/Construcción/";
  set.AddJpeg(build + "Fondo/fondo.mximg", WorkshopScreen());
  // The buttons stand side by side from x 521 in slots 57, 58, 36, 59 and 55 wide (play
  // and pause share one), each sized to its picture. Every picture fills its slot, but
  // shows a face as wide as the narrowest slot, the faces evenly spaced along the row;
  // the rest of the picture is clear, so that only the face takes clicks.
  const struct {
    const char* name;
    int width;
    int faceX;  // where the face starts inside the picture
    Icon icon;
  } players[] = {{"principio", 57, 0, Icon::ToStart}, {"rw", 58, 0, Icon::Rewind},
                 {"play", 36, 0, Icon::Play},         {"pausa", 36, 0, Icon::Pause},
                 {"ff", 59, 21, Icon::FastForward},   {"fin", 55, 19, Icon::ToEnd}};
  constexpr int kFaceWidth = 36, kPlayerHeight = 52;
  for (const auto& p : players)
    for (State s : kFour) {
      const Canvas face = ButtonPicture(kFaceWidth, kPlayerHeight, Shape::Round, Hex(0x2A9D8F), p.icon, s);
      Canvas slot(p.width, kPlayerHeight);
      cairo_set_source_surface(slot.cr(), cairo_get_target(face.cr()), p.faceX, 0);
      cairo_paint(slot.cr());
      set.Add(WithState(build + "Reproducción/" + p.name + "_%s.mximg", StateName(s)), slot);
    }
  Buttons(set, build + "Reproducción/slider_%s.mximg", 4, 18, 34, Shape::Pill, Hex(0xF4A261), Icon::None);
  set.Add(build + "Reproducción/slider_fondo.mximg", ButtonPicture(338, 14, Shape::Pill, Hex(0x264653), Icon::None, State::Normal));
  Buttons(set, build + "Botones/flechita_arriba_%s.mximg", 3, 28, 13, Shape::Pill, Hex(0xF4A261), Icon::Up);
  Buttons(set, build + "Botones/flechita_abajo_%s.mximg", 3, 28, 13, Shape::Pill, Hex(0xF4A261), Icon::Down);
  for (size_t box = 0; box < boxes.size(); ++box)
    for (State s : kThree)
      set.Add(build + "Cajas/" + boxes[box] + "_" + StateName(s) + ".mximg", BoxPicture(int(box % 2) + 1, s));
}

bool WriteInterface(Context& context, std::string* error) {
  PictureSet set(context);
  const std::string I = "Interface/";

  // Screens: 800 x 600, embedded JPEG.
  set.AddJpeg(I + "Bienvenida/Fondo/fondo.mximg", WelcomeScreen());
  set.AddJpeg(I + "Menu Inicial/Fondo/fondo.mximg", StartMenuScreen());
  set.AddJpeg(I + "Carga Inicial/Fondo/fondo.mximg", LoadingScreen());
  set.AddJpeg(I + "Propaganda/Fondo/fondo.mximg", AdvertScreen());
  set.AddJpeg(I + "Créditos/Fondo/fondo.mximg", CreditsScreen());
  set.AddJpeg(I + "Visor Películas/Fondo/fondo.mximg", CinemaHall());

  // Welcome and start menu.
  Buttons(set, I + "Bienvenida/Botón Seguir/seguir_%s%s.mximg", 4, 100, 38, Shape::Pill, Hex(0x2DC653), Icon::Right,
          "Seguir", 17);
  Buttons(set, I + "Menu Inicial/Botones/jugar_%s%s.mximg", 3, 330, 330, Shape::Round, Hex(0xFF6F91), Icon::Clapper,
          "¡Jugar!");
  Buttons(set, I + "Menu Inicial/Botones/construir_%s%s.mximg", 3, 330, 330, Shape::Round, Hex(0x4CC9F0), Icon::Blocks,
          "Construir");

  // Loading flower.
  for (int frame = 1; frame <= 34; ++frame) {
    char name[96];
    std::snprintf(name, sizeof name, "Carga Inicial/Flor/flor%02d.mximg", frame);
    set.Add(I + name, FlowerFrame(frame));
  }

  // Pointer and common pictures.
  set.Add(I + "Puntero/puntero_mouse.mximg", Pointer(), Encoding::Raw, true, 2, 2);
  set.Add(I + "Iconos Varios/Bulb Electric.mximg", SignIcon(Sign::BulbElectric), Encoding::ColourKey);
  set.Add(I + "Iconos Varios/Bulb Idea.mximg", SignIcon(Sign::BulbIdea), Encoding::Palette);
  set.Add(I + "Iconos Varios/Error.mximg", SignIcon(Sign::Error));
  set.Add(I + "Iconos Varios/Information.mximg", SignIcon(Sign::Information));
  set.Add(I + "Iconos Varios/Question.mximg", SignIcon(Sign::Question));
  set.Add(I + "Iconos Varios/Warning.mximg", SignIcon(Sign::Warning), Encoding::MaskPlane);
  set.Add(I + "Iconos Varios/Recycle Bin.mximg", SignIcon(Sign::Bin), Encoding::Depth16);
  set.Add(I + "Iconos Varios/Recycle Bin 2.mximg", SignIcon(Sign::BinOpen));
  set.Add(I + "Iconos Varios/Recycle Bin Full.mximg", SignIcon(Sign::BinFull));
  set.Add(I + "Miscelaneos/black_pixel.mximg", Pixel(0x000000), Encoding::Raw);
  set.Add(I + "Miscelaneos/white_pixel.mximg", Pixel(0xFFFFFF), Encoding::Raw);
  set.Add(I + "Miscelaneos/puntero_mira.mximg", Crosshair(), Encoding::Zlib, true, 10, 10);
  Buttons(set, I + "Principal/Botón Cerrar/cerrar_%s.mximg", 4, 24, 24, Shape::Circle, Hex(0xEF476F), Icon::Close);

  // Cinema.
  const std::string cinema = I + "Visor Películas/";
  Buttons(set, cinema + "Reproducción/play_%s.mximg", 3, 24, 23, Shape::Round, Hex(0xFFD23F), Icon::Play);
  Buttons(set, cinema + "Reproducción/pause_%s.mximg", 3, 24, 23, Shape::Round, Hex(0xFFD23F), Icon::Pause);
  Buttons(set, cinema + "Reproducción/slider_%s.mximg", 3, 12, 23, Shape::Pill, Hex(0xFFD23F), Icon::None);
  set.Add(cinema + "Reproducción/slider_fondo.mximg", ButtonPicture(221, 10, Shape::Pill, Hex(0x6A040F), Icon::None, State::Normal));
  set.Add(cinema + "Fondo/gente1.mximg", Audience(144, 0));
  set.Add(cinema + "Fondo/gente2.mximg", Audience(151, 1));
  set.Add(cinema + "Fondo/gente3.mximg", Audience(151, 2));

  // Editor toolbar.
  const std::string menu = I + "Principal/Menú/";
  struct Tool {
    const char* name;
    int width;
    Icon icon;
    uint32_t colour;
  };
  const Tool tools[] = {{"nuevo", 28, Icon::New, 0x80ED99},   {"abrir", 28, Icon::Open, 0x80ED99},
                        {"guardar", 30, Icon::Save, 0x80ED99}, {"exportarvideo", 26, Icon::Export, 0xFFC75F},
                        {"deshacer", 28, Icon::Undo, 0xFFC75F}, {"camara", 34, Icon::Camera, 0xFF9F1C},
                        {"ayuda", 28, Icon::Help, 0x4CC9F0}};
  for (const Tool& t : tools)
    Buttons(set, menu + t.name + "_%s.mximg", 4, t.width, 24, Shape::Round, Hex(t.colour), t.icon);
  const std::string insert = I + "Principal/Botones Inserción/";
  Buttons(set, insert + "escenas_%s.mximg", 4, 64, 56, Shape::Round, Hex(0x4CC9F0), Icon::Scenes);
  Buttons(set, insert + "personajes_%s.mximg", 4, 64, 56, Shape::Round, Hex(0xFF6F91), Icon::Characters);
  Buttons(set, insert + "objetos_%s.mximg", 4, 64, 56, Shape::Round, Hex(0xFFC75F), Icon::Objects);
  Buttons(set, insert + "fx_%s.mximg", 4, 64, 56, Shape::Round, Hex(0xC77DFF), Icon::Music);
  const std::string scenes = I + "Principal/Manejo Escena/";
  Buttons(set, scenes + "flecha_izquierda_%s.mximg", 4, 30, 30, Shape::Circle, Hex(0x4CC9F0), Icon::Left);
  Buttons(set, scenes + "flecha_derecha_%s.mximg", 4, 30, 30, Shape::Circle, Hex(0x4CC9F0), Icon::Right);
  Buttons(set, scenes + "mover_anterior_%s.mximg", 4, 18, 18, Shape::Round, Hex(0xFFC75F), Icon::Left);
  Buttons(set, scenes + "mover_posterior_%s.mximg", 4, 18, 18, Shape::Round, Hex(0xFFC75F), Icon::Right);
  set.Add(scenes + "fondo_fotograma.mximg", ThumbnailFrame());
  const std::string select = I + "Principal/Selección Item/";
  Buttons(set, select + "flecha_izquierda_%s.mximg", 4, 30, 30, Shape::Circle, Hex(0xFF6F91), Icon::Left);
  Buttons(set, select + "flecha_derecha_%s.mximg", 4, 30, 30, Shape::Circle, Hex(0xFF6F91), Icon::Right);
  const std::string play = I + "Principal/Botones Reproducción/";
  Buttons(set, play + "accion_%s%s.mximg", 4, 80, 60, Shape::Round, Hex(0xFF9F1C), Icon::Clapper);
  Buttons(set, play + "play_%s.mximg", 4, 34, 34, Shape::Circle, Hex(0x2DC653), Icon::Play);
  Buttons(set, play + "pause_%s.mximg", 4, 34, 34, Shape::Circle, Hex(0x2DC653), Icon::Pause);
  Buttons(set, play + "retroceder_%s.mximg", 4, 30, 26, Shape::Round, Hex(0x80ED99), Icon::StepBack);
  Buttons(set, play + "avanzar_%s.mximg", 4, 30, 26, Shape::Round, Hex(0x80ED99), Icon::StepForward);
  Buttons(set, play + "slider_%s.mximg", 4, 16, 36, Shape::Pill, Hex(0xFF6F91), Icon::None);
  set.Add(play + "slider_fondo.mximg", ButtonPicture(207, 14, Shape::Pill, Hex(0x219EBC), Icon::None, State::Normal));
  for (int pose = 1; pose <= 6; ++pose)
    set.AddGif(I + "Asistente/asistente" + std::to_string(pose) + ".mximg", Assistant(pose - 1));
  set.Add(I + "Recuadro Texto/recuadro.mximg", BalloonAtlas());
  // Frame pieces around the stage, embedded PNG.
  const std::string frame = I + "Principal/Fondo/";
  set.AddPng(frame + "fondo_left.mximg", FramePiece(0, 148, 108, 372));
  set.AddPng(frame + "fondo_right.mximg", FramePiece(772, 148, 28, 372));
  set.AddPng(frame + "fondo_top.mximg", FramePiece(0, 0, 800, 148));
  set.AddPng(frame + "fondo_bottom.mximg", FramePiece(0, 520, 800, 80));
  set.AddPng(frame + "fondo_inner_lefttop.mximg", InnerCorner(108, 148, 8, 8));
  set.AddPng(frame + "fondo_inner_leftbottom.mximg", InnerCorner(108, 512, 8, 0));
  set.AddPng(frame + "fondo_inner_righttop.mximg", InnerCorner(764, 148, 0, 8));
  set.AddPng(frame + "fondo_inner_rightbottom.mximg", InnerCorner(764, 512, 0, 0));

  // Start-up dialog icons.
  const std::string dialog = I + "Diálogo Inicial/Iconos/";
  const struct {
    const char* name;
    Icon icon;
    uint32_t colour;
  } choices[] = {{"nuevo", Icon::New, 0x80ED99}, {"abrir", Icon::Open, 0x4CC9F0},
                 {"reproducir", Icon::Play, 0xFF6F91}, {"exportar", Icon::Export, 0xFFC75F}};
  for (const auto& choice : choices) {
    set.Add(dialog + choice.name + "_normal.mximg", DialogIcon(choice.icon, Hex(choice.colour), false));
    set.Add(dialog + choice.name + "_over.mximg", DialogIcon(choice.icon, Hex(choice.colour), true));
  }

  // Audio chooser and recorder.
  const std::string audio = I + "Selecciona Audio/";
  Buttons(set, audio + "Reproducción/play_%s.mximg", 4, 24, 24, Shape::Circle, Hex(0x2DC653), Icon::Play);
  Buttons(set, audio + "Reproducción/stop_%s.mximg", 4, 24, 24, Shape::Circle, Hex(0xFFC75F), Icon::Stop);
  Buttons(set, audio + "Reproducción/rec_%s.mximg", 4, 24, 24, Shape::Circle, Hex(0xF1FAEE), Icon::Record);
  Buttons(set, audio + "Iconos/mic_%s.mximg", 3, 26, 26, Shape::Circle, Hex(0xC77DFF), Icon::Microphone);

  AddBuildingScreen(set, {"Caja00001", "Caja00002"});
  return set.Write(context.out / "Gfx" / "Gfx.DAT", 3, 0x5A17C3E9, error);
}

}  // namespace contentgen
