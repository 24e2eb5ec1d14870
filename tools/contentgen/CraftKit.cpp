// The pieces the craft videos are drawn from: the room, the materials and tools, the
// child's hands, and lines drawn, cut or glued a little at a time.
#include <algorithm>
#include <cmath>

#include "tools/contentgen/Craft.h"

namespace contentgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
const Rgb kInk = Hex(0x3D2B1F);

double Perimeter(const std::vector<Pt>& outline) {
  double total = 0;
  for (size_t i = 0; i < outline.size(); ++i) {
    const Pt a = outline[i], b = outline[(i + 1) % outline.size()];
    total += std::hypot(b.x - a.x, b.y - a.y);
  }
  return total;
}

// Paper flags on a string across the top of the wall.
void Bunting(cairo_t* cr) {
  const uint32_t colours[5] = {0xF72585, 0xFFD23F, 0x4CC9F0, 0x80ED99, 0xFF9F1C};
  auto sag = [](double x) { return 8 + 16 * std::sin(x / kFrameWidth * kPi); };
  cairo_set_line_width(cr, 1.5);
  cairo_move_to(cr, 0, sag(0));
  for (double x = 8; x <= kFrameWidth; x += 8) cairo_line_to(cr, x, sag(x));
  SetColor(cr, Hex(0x7F5539));
  cairo_stroke(cr);
  for (int i = 0; i < 15; ++i) {
    const double x0 = 4 + i * 29, x1 = x0 + 22, mid = (x0 + x1) / 2;
    Polygon(cr, {{x0, sag(x0)}, {x1, sag(x1)}, {mid, sag(mid) + 24}});
    SetColor(cr, Hex(colours[i % 5]));
    cairo_fill(cr);
  }
}

// A cork board with a child's drawing of a house under the sun and a note, pinned.
void CorkBoard(cairo_t* cr) {
  cairo_rectangle(cr, 14, 46, 112, 96);
  FillAndOutline(cr, Hex(0xD4A373), Hex(0x8D6346), 5);
  // The drawing, a little crooked.
  cairo_save(cr);
  cairo_translate(cr, 52, 92);
  cairo_rotate(cr, -0.06);
  cairo_rectangle(cr, -30, -36, 60, 70);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_fill(cr);
  cairo_set_line_width(cr, 2);
  cairo_arc(cr, 16, -22, 7, 0, 2 * kPi);
  SetColor(cr, Hex(0xFFB703));
  cairo_fill(cr);
  Polygon(cr, {{-20, 0}, {-6, -14}, {8, 0}});
  SetColor(cr, Hex(0xE63946));
  cairo_fill(cr);
  cairo_rectangle(cr, -18, 0, 24, 20);
  SetColor(cr, Hex(0x4CC9F0));
  cairo_fill(cr);
  cairo_move_to(cr, -28, 26);
  cairo_curve_to(cr, -10, 22, 10, 30, 28, 24);
  SetColor(cr, Hex(0x2D6A4F));
  cairo_stroke(cr);
  cairo_restore(cr);
  // A note of yellow paper.
  cairo_save(cr);
  cairo_translate(cr, 102, 78);
  cairo_rotate(cr, 0.12);
  cairo_rectangle(cr, -16, -18, 32, 34);
  SetColor(cr, Hex(0xFFF3B0));
  cairo_fill(cr);
  cairo_set_line_width(cr, 1.5);
  for (int line = 0; line < 4; ++line) {
    cairo_move_to(cr, -11, -9 + line * 7);
    cairo_line_to(cr, 11 - (line % 2) * 6, -9 + line * 7);
  }
  SetColor(cr, Hex(0x4361EE, 0.7));
  cairo_stroke(cr);
  cairo_restore(cr);
  const Pt pins[3] = {{52, 58}, {104, 62}, {34, 124}};
  for (const Pt& pin : pins) {
    cairo_arc(cr, pin.x, pin.y, 3.5, 0, 2 * kPi);
    SetColor(cr, Hex(0xD00000));
    cairo_fill(cr);
  }
}

// A window with sky and a cloud, and under it a shelf of paint pots and a pencil jar.
void WindowAndShelf(cairo_t* cr) {
  FillVertical(cr, 322, 40, 94, 70, Hex(0x48CAE4), Hex(0xCAF0F8));
  Cloud(cr, 360, 70, 0.35);
  cairo_set_line_width(cr, 5);
  cairo_rectangle(cr, 322, 40, 94, 70);
  cairo_move_to(cr, 369, 40);
  cairo_line_to(cr, 369, 110);
  cairo_move_to(cr, 322, 75);
  cairo_line_to(cr, 416, 75);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_stroke(cr);
  cairo_rectangle(cr, 312, 150, 112, 8);
  SetColor(cr, Hex(0x9C6644));
  cairo_fill(cr);
  // Paint pots.
  const uint32_t paints[3] = {0xE63946, 0x4361EE, 0xFFD23F};
  for (int i = 0; i < 3; ++i) {
    const double x = 322 + i * 24;
    cairo_rectangle(cr, x, 132, 20, 18);
    SetColor(cr, Hex(0xF8F9FA));
    cairo_fill(cr);
    cairo_rectangle(cr, x - 1, 126, 22, 7);
    SetColor(cr, Hex(paints[i]));
    cairo_fill(cr);
  }
  // A jar of coloured pencils.
  const uint32_t pencils[4] = {0x80ED99, 0xF72585, 0xFF9F1C, 0x4CC9F0};
  cairo_set_line_width(cr, 4);
  for (int i = 0; i < 4; ++i) {
    cairo_move_to(cr, 398 + i * 4, 138);
    cairo_line_to(cr, 392 + i * 7, 112 + (i % 2) * 6);
    SetColor(cr, Hex(pencils[i]));
    cairo_stroke(cr);
  }
  RoundRect(cr, 392, 128, 26, 22, 4);
  SetColor(cr, Hex(0xADE8F4, 0.85));
  cairo_fill(cr);
}

// A wall clock at ten past ten and a paper butterfly pinned beside it.
void ClockAndButterfly(cairo_t* cr) {
  cairo_arc(cr, 166, 64, 19, 0, 2 * kPi);
  FillAndOutline(cr, Hex(0xFFFFFF), Hex(0x4361EE), 5);
  cairo_set_line_width(cr, 2);
  for (int hour = 0; hour < 12; ++hour) {
    const double a = hour * kPi / 6;
    cairo_move_to(cr, 166 + std::cos(a) * 12, 64 + std::sin(a) * 12);
    cairo_line_to(cr, 166 + std::cos(a) * 15, 64 + std::sin(a) * 15);
  }
  SetColor(cr, Hex(0x495057));
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 3);
  cairo_move_to(cr, 166, 64);
  cairo_line_to(cr, 166 - 8, 64 - 5);
  cairo_move_to(cr, 166, 64);
  cairo_line_to(cr, 166 + 9, 64 - 9);
  SetColor(cr, Hex(0x1D3557));
  cairo_stroke(cr);
  const uint32_t wings[2] = {0xF72585, 0xFFB703};
  for (int side = -1; side <= 1; side += 2) {
    for (int pair = 0; pair < 2; ++pair) {
      cairo_save(cr);
      cairo_translate(cr, 282 + side * (9 - pair * 2), 60 + pair * 12);
      cairo_rotate(cr, side * (pair ? 0.5 : -0.4));
      cairo_scale(cr, 1, pair ? 0.8 : 1.2);
      cairo_arc(cr, 0, 0, pair ? 7 : 9, 0, 2 * kPi);
      cairo_restore(cr);
      SetColor(cr, Hex(wings[pair]));
      cairo_fill(cr);
    }
  }
  RoundRect(cr, 280, 52, 4, 26, 2);
  SetColor(cr, Hex(0x3D2B1F));
  cairo_fill(cr);
}

// The wooden table: planks seen from the front and a little above, the cutting mat on it.
void Table(cairo_t* cr) {
  FillVertical(cr, 0, kTableTop, kFrameWidth, kFrameHeight - kTableTop, Hex(0xE0AF7A), Hex(0xB5773F));
  cairo_set_line_width(cr, 1.5);
  const double seams[4] = {198, 224, 254, 290};
  for (double y : seams) {
    cairo_move_to(cr, 0, y);
    cairo_line_to(cr, kFrameWidth, y);
  }
  SetColor(cr, Hex(0x8D5524, 0.45));
  cairo_stroke(cr);
  cairo_rectangle(cr, 0, kTableTop - 3, kFrameWidth, 4);
  SetColor(cr, Hex(0x9C6644));
  cairo_fill(cr);
  // The green cutting mat with its grid, in perspective.
  const Pt a{128, 186}, b{322, 186}, c{336, 252}, d{110, 252};
  Polygon(cr, {a, b, c, d});
  SetColor(cr, Hex(0x2A9D8F));
  cairo_fill(cr);
  cairo_set_line_width(cr, 1);
  for (int i = 1; i < 10; ++i) {
    const Pt top = Mix(a, b, i / 10.0), bottom = Mix(d, c, i / 10.0);
    cairo_move_to(cr, top.x, top.y);
    cairo_line_to(cr, bottom.x, bottom.y);
  }
  for (int i = 1; i < 4; ++i) {
    const Pt left = Mix(a, d, i / 4.0), right = Mix(b, c, i / 4.0);
    cairo_move_to(cr, left.x, left.y);
    cairo_line_to(cr, right.x, right.y);
  }
  SetColor(cr, Hex(0xB7E4C7, 0.6));
  cairo_stroke(cr);
}

void DrawItem(cairo_t* cr, Item item, double open) {
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 3);
  switch (item) {
    case Item::Paper: {  // sheets of coloured paper, fanned out
      const uint32_t colours[3] = {0x4CC9F0, 0xF72585, 0x80ED99};
      for (int i = 0; i < 3; ++i) {
        cairo_save(cr);
        cairo_rotate(cr, (i - 1) * 0.22);
        cairo_rectangle(cr, -32, -42, 64, 84);
        FillAndOutline(cr, Hex(colours[i]), Shade(Hex(colours[i]), -0.4), 3);
        cairo_restore(cr);
      }
      break;
    }
    case Item::Scissors: {  // round-tipped scissors, blades up, pivot at the origin
      const double spread = 4 + 14 * open;
      for (int side = -1; side <= 1; side += 2) {
        Polygon(cr, {{0, 0}, {side * (spread + 5), -48}, {side * (spread - 5), -48}});
        FillAndOutline(cr, Hex(0xCED4DA), kInk, 3);
      }
      cairo_set_line_width(cr, 7);
      SetColor(cr, Hex(0xE63946));
      for (int side = -1; side <= 1; side += 2) {
        cairo_move_to(cr, 0, 0);
        cairo_line_to(cr, side * (6 + 6 * open), 14);
        cairo_stroke(cr);
        cairo_new_sub_path(cr);
        cairo_arc(cr, side * (12 + 6 * open), 26, 13, 0, 2 * kPi);
        cairo_stroke(cr);
      }
      cairo_arc(cr, 0, 0, 4, 0, 2 * kPi);
      SetColor(cr, kInk);
      cairo_fill(cr);
      break;
    }
    case Item::Glue: {  // a glue bottle with an orange cap, nozzle up
      RoundRect(cr, -20, -20, 40, 60, 8);
      FillAndOutline(cr, Hex(0xFFFFFF), kInk, 3);
      cairo_rectangle(cr, -20, 0, 40, 18);
      SetColor(cr, Hex(0x4361EE));
      cairo_fill(cr);
      Polygon(cr, {{-12, -20}, {-4, -46}, {4, -46}, {12, -20}});
      FillAndOutline(cr, Hex(0xFF9F1C), kInk, 3);
      break;
    }
    case Item::Pencil: {  // a yellow pencil lying along x, sharpened point at +50
      cairo_rectangle(cr, -45, -8, 70, 16);
      FillAndOutline(cr, Hex(0xFFD23F), kInk, 3);
      cairo_rectangle(cr, -55, -8, 10, 16);
      FillAndOutline(cr, Hex(0xFF8FAB), kInk, 3);
      Polygon(cr, {{25, -8}, {50, 0}, {25, 8}});
      FillAndOutline(cr, Hex(0xF1D1B5), kInk, 3);
      Polygon(cr, {{42, -3}, {50, 0}, {42, 3}});
      cairo_fill(cr);
      break;
    }
    case Item::Ruler: {  // a wooden ruler with its marks
      cairo_rectangle(cr, -50, -12, 100, 24);
      FillAndOutline(cr, Hex(0xE9C46A), kInk, 3);
      cairo_set_line_width(cr, 2);
      for (int i = 1; i < 20; ++i) {
        cairo_move_to(cr, -50 + i * 5, -12);
        cairo_line_to(cr, -50 + i * 5, i % 2 ? -6 : -2);
      }
      cairo_stroke(cr);
      break;
    }
  }
}

// Where each tool's working end and the hand's grip are, in the item's own units.
Pt ToolTip(Item item) {
  switch (item) {
    case Item::Pencil: return {50, 0};
    case Item::Scissors: return {0, -50};
    case Item::Glue: return {0, -47};
    default: return {0, 0};
  }
}
Pt ToolGrip(Item item) {
  switch (item) {
    case Item::Pencil: return {-8, 0};
    case Item::Scissors: return {0, 28};
    case Item::Glue: return {0, 12};
    default: return {0, 0};
  }
}

void DrawRoom(cairo_t* cr) {
  FillVertical(cr, 0, 0, kFrameWidth, kTableTop, Hex(0xFFF1E6), Hex(0xFDE2E4));
  for (double x = 12; x < kFrameWidth; x += 36) {
    cairo_rectangle(cr, x, 0, 14, kTableTop);
  }
  SetColor(cr, Hex(0xFFFFFF, 0.35));
  cairo_fill(cr);
  Bunting(cr);
  ClockAndButterfly(cr);
  CorkBoard(cr);
  WindowAndShelf(cr);
  Table(cr);
}

// A round-ended band from a to b, `width` wide, with a `border` of another colour.
void Band(cairo_t* cr, Pt a, Pt b, double width, Rgb fill, double border, Rgb outline) {
  cairo_save(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_set_line_width(cr, width + 2 * border);
  SetColor(cr, outline);
  cairo_stroke_preserve(cr);
  cairo_set_line_width(cr, width);
  SetColor(cr, fill);
  cairo_stroke(cr);
  cairo_restore(cr);
}

}  // namespace

double Stage(double p, double from, double to) {
  const double x = std::clamp((p - from) / (to - from), 0.0, 1.0);
  return x * x * (3 - 2 * x);
}

double Linear(double p, double from, double to) { return std::clamp((p - from) / (to - from), 0.0, 1.0); }

void Polygon(cairo_t* cr, const std::vector<Pt>& points) {
  for (size_t i = 0; i < points.size(); ++i) {
    if (i == 0) cairo_move_to(cr, points[i].x, points[i].y);
    else cairo_line_to(cr, points[i].x, points[i].y);
  }
  cairo_close_path(cr);
}

void FillAndOutline(cairo_t* cr, Rgb fill, Rgb outline, double width) {
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  SetColor(cr, fill);
  cairo_fill_preserve(cr);
  SetColor(cr, outline);
  cairo_stroke(cr);
}

void CraftRoom(cairo_t* cr) {
  // The room never changes: each thread draws it once and copies it under every frame.
  thread_local const Canvas room = [] {
    Canvas canvas{int(kFrameWidth), int(kFrameHeight)};
    DrawRoom(canvas.cr());
    return canvas;
  }();
  cairo_save(cr);
  cairo_set_source_surface(cr, cairo_get_target(room.cr()), 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_restore(cr);
}

void PlaceItem(cairo_t* cr, Item item, Pt at, double size, double angle, double open) {
  cairo_save(cr);
  cairo_translate(cr, at.x, at.y);
  cairo_rotate(cr, angle);
  cairo_scale(cr, size / 100, size / 100);
  DrawItem(cr, item, open);
  cairo_restore(cr);
}

void HeldTool(cairo_t* cr, Item item, Pt tip, double angle, double size, Pt shoulder, double open) {
  const Pt local = ToolTip(item), grip = ToolGrip(item);
  const double k = size / 100, c = std::cos(angle), s = std::sin(angle);
  const Pt d{(grip.x - local.x) * k, (grip.y - local.y) * k};
  cairo_save(cr);
  cairo_translate(cr, tip.x, tip.y);
  cairo_rotate(cr, angle);
  cairo_scale(cr, k, k);
  cairo_translate(cr, -local.x, -local.y);
  DrawItem(cr, item, open);
  cairo_restore(cr);
  Hand(cr, shoulder, {tip.x + d.x * c - d.y * s, tip.y + d.x * s + d.y * c});
}

void Hand(cairo_t* cr, Pt shoulder, Pt at) {
  const double dx = at.x - shoulder.x, dy = at.y - shoulder.y, length = std::hypot(dx, dy);
  if (length < 1) return;
  const Pt dir{dx / length, dy / length};
  const Pt wrist{at.x - dir.x * 16, at.y - dir.y * 16};
  cairo_save(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  // The sleeve of a blue jumper with a striped cuff.
  Band(cr, shoulder, {wrist.x - dir.x * 8, wrist.y - dir.y * 8}, 26, Hex(0x4895EF), 2, Hex(0x1D3557));
  cairo_move_to(cr, wrist.x - dir.x * 8, wrist.y - dir.y * 8);
  cairo_line_to(cr, wrist.x - dir.x * 2, wrist.y - dir.y * 2);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  cairo_set_line_width(cr, 28);
  SetColor(cr, Hex(0xFFD23F));
  cairo_stroke(cr);
  // The hand: a palm turned along the arm, four fingers curled round, the thumb beside.
  cairo_translate(cr, at.x, at.y);
  cairo_rotate(cr, std::atan2(dir.y, dir.x));
  cairo_set_line_width(cr, 2);
  const Rgb skin = Hex(0xF4C29B), line = Hex(0xB07850);
  cairo_save(cr);
  cairo_scale(cr, 1.15, 1);
  cairo_arc(cr, -6, 0, 13, 0, 2 * kPi);
  cairo_restore(cr);
  FillAndOutline(cr, skin, line, 2);
  for (int finger = 0; finger < 4; ++finger) {
    cairo_save(cr);
    cairo_translate(cr, 6, -9 + finger * 6);
    cairo_scale(cr, 1.4, 1);
    cairo_arc(cr, 0, 0, 3.6, 0, 2 * kPi);
    cairo_restore(cr);
    FillAndOutline(cr, skin, line, 2);
  }
  cairo_save(cr);
  cairo_translate(cr, -2, 12);
  cairo_rotate(cr, -0.6);
  cairo_scale(cr, 1.8, 1);
  cairo_arc(cr, 0, 0, 4.5, 0, 2 * kPi);
  cairo_restore(cr);
  FillAndOutline(cr, skin, line, 2);
  cairo_restore(cr);
}

Pt AlongOutline(const std::vector<Pt>& outline, double k) {
  if (outline.empty()) return {};
  const size_t n = outline.size();
  double left = std::clamp(k, 0.0, 1.0) * Perimeter(outline);
  for (size_t i = 0; i < n; ++i) {
    const Pt a = outline[i], b = outline[(i + 1) % n];
    const double edge = std::hypot(b.x - a.x, b.y - a.y);
    if (left <= edge && edge > 0) return Mix(a, b, left / edge);
    left -= edge;
  }
  return outline.front();
}

void PartOfOutline(cairo_t* cr, const std::vector<Pt>& outline, double k) {
  if (outline.empty() || k <= 0) return;
  const size_t n = outline.size();
  double left = std::min(k, 1.0) * Perimeter(outline);
  cairo_move_to(cr, outline[0].x, outline[0].y);
  for (size_t i = 0; i < n && left > 0; ++i) {
    const Pt a = outline[i], b = outline[(i + 1) % n];
    const double edge = std::hypot(b.x - a.x, b.y - a.y);
    const Pt end = left >= edge ? b : Mix(a, b, left / edge);
    cairo_line_to(cr, end.x, end.y);
    left -= edge;
  }
}

void PencilLine(cairo_t* cr, const std::vector<Pt>& outline, double k) {
  cairo_save(cr);
  PartOfOutline(cr, outline, k);
  cairo_set_line_width(cr, 1.6);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  SetColor(cr, Hex(0x495057, 0.85));
  cairo_stroke(cr);
  cairo_restore(cr);
}

void CutLine(cairo_t* cr, const std::vector<Pt>& outline, double k) {
  cairo_save(cr);
  PartOfOutline(cr, outline, k);
  cairo_set_line_width(cr, 2.5);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  SetColor(cr, Hex(0x3D2B1F));
  cairo_stroke(cr);
  cairo_restore(cr);
}

void GlueBead(cairo_t* cr, Pt a, Pt b, double k) {
  if (k <= 0) return;
  const Pt end = Mix(a, b, std::min(k, 1.0));
  Band(cr, a, end, 4, Hex(0xF8F9FA), 1, Hex(0xADB5BD));
}

void Sparkles(cairo_t* cr, const std::vector<Pt>& where, double t) {
  for (size_t i = 0; i < where.size(); ++i) {
    const double size = 9 + 5 * std::sin(t * 5 + double(i) * 1.7);
    Star(cr, where[i].x, where[i].y, size, size * 0.42, 4, Hex(i % 2 ? 0xFFD23F : 0xFFF3B0));
  }
}

}  // namespace contentgen
