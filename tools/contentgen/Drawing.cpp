#include "tools/contentgen/Drawing.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace contentgen {

namespace {

constexpr double kPi = 3.14159265358979323846;

cairo_status_t AppendPng(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// A small fixed generator for scattered decorations.
uint32_t NextRandom(uint32_t* state) {
  *state = *state * 1664525u + 1013904223u;
  return *state >> 8;
}

}  // namespace

Rgb Hex(uint32_t rrggbb, double alpha) {
  return Rgb{((rrggbb >> 16) & 0xFF) / 255.0, ((rrggbb >> 8) & 0xFF) / 255.0, (rrggbb & 0xFF) / 255.0, alpha};
}

Rgb Shade(Rgb c, double t) {
  const double target = t > 0 ? 1.0 : 0.0, k = std::fabs(t);
  return Rgb{c.r + (target - c.r) * k, c.g + (target - c.g) * k, c.b + (target - c.b) * k, c.a};
}

Rgb Grey(Rgb c) {
  const double y = 0.3 * c.r + 0.59 * c.g + 0.11 * c.b;
  return Rgb{y, y, y, c.a};
}

Canvas::Canvas(int width, int height)
    : m_width(width), m_height(height),
      m_surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      m_cr(cairo_create(m_surface)) {
  cairo_set_antialias(m_cr, CAIRO_ANTIALIAS_GRAY);
}

Canvas::Canvas(Canvas&& other) noexcept
    : m_width(other.m_width), m_height(other.m_height), m_surface(other.m_surface), m_cr(other.m_cr) {
  other.m_surface = nullptr;
  other.m_cr = nullptr;
}

Canvas::~Canvas() {
  if (m_cr) cairo_destroy(m_cr);
  if (m_surface) cairo_surface_destroy(m_surface);
}

const uint8_t* Canvas::Row(int y) const {
  cairo_surface_flush(m_surface);
  return cairo_image_surface_get_data(m_surface) + size_t(y) * size_t(Stride());
}

int Canvas::Stride() const { return cairo_image_surface_get_stride(m_surface); }

bool Canvas::ToImage(CSLImage* out) const {
  if (!out->Create(5, u32(m_width), u32(m_height), false)) return false;
  for (int y = 0; y < m_height; ++y) {
    const uint8_t* src = Row(y);
    uint8_t* dst = out->GetPixelAddress(0, u32(y));
    for (int x = 0; x < m_width; ++x, src += 4, dst += 4) {
      const unsigned a = src[3];
      for (int k = 0; k < 3; ++k) dst[k] = a ? uint8_t(std::min(255u, (src[k] * 255u + a / 2) / a)) : 0;
      dst[3] = uint8_t(a);
    }
  }
  return true;
}

std::string Canvas::Png() const {
  std::string bytes;
  cairo_surface_write_to_png_stream(m_surface, AppendPng, &bytes);
  return bytes;
}

std::string Canvas::Ppm(Rgb background) const {
  std::string bytes = "P6\n" + std::to_string(m_width) + " " + std::to_string(m_height) + "\n255\n";
  bytes.reserve(bytes.size() + size_t(m_width) * size_t(m_height) * 3);
  const double back[3] = {background.r * 255, background.g * 255, background.b * 255};
  for (int y = 0; y < m_height; ++y) {
    const uint8_t* p = Row(y);
    for (int x = 0; x < m_width; ++x, p += 4) {
      const double rest = (255 - p[3]) / 255.0;
      for (int k = 2; k >= 0; --k) bytes.push_back(char(std::lround(std::min(255.0, p[k] + back[2 - k] * rest))));
    }
  }
  return bytes;
}

void SetColor(cairo_t* cr, Rgb c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  r = std::min({r, w / 2, h / 2});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void FillVertical(cairo_t* cr, double x, double y, double w, double h, Rgb top, Rgb bottom) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + h);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, top.a);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, bottom.a);
  cairo_rectangle(cr, x, y, w, h);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
}

static void SelectFont(cairo_t* cr, double size, bool bold, const char* family) {
  cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
}

double TextWidth(cairo_t* cr, const std::string& utf8, double size, bool bold, const char* family) {
  cairo_save(cr);
  SelectFont(cr, size, bold, family);
  cairo_text_extents_t e;
  cairo_text_extents(cr, utf8.c_str(), &e);
  cairo_restore(cr);
  return e.x_advance;
}

namespace {

thread_local std::vector<LayoutBox>* t_layout = nullptr;
const thread_local std::vector<LayoutBox>* t_keepOff = nullptr;

// The box (x, y, w, h in user space) in canvas pixels.
LayoutBox DeviceBox(cairo_t* cr, double x, double y, double w, double h, bool text, const std::string& label) {
  double xs[4] = {x, x + w, x, x + w}, ys[4] = {y, y, y + h, y + h};
  for (int i = 0; i < 4; ++i) cairo_user_to_device(cr, &xs[i], &ys[i]);
  LayoutBox box;
  box.text = text;
  box.label = label;
  box.x = std::min({xs[0], xs[1], xs[2], xs[3]});
  box.y = std::min({ys[0], ys[1], ys[2], ys[3]});
  box.w = std::max({xs[0], xs[1], xs[2], xs[3]}) - box.x;
  box.h = std::max({ys[0], ys[1], ys[2], ys[3]}) - box.y;
  return box;
}

// Whether a decoration may be drawn in the box; records it when it is.
bool Decoration(cairo_t* cr, double x, double y, double w, double h, const char* kind) {
  if (!t_layout && !t_keepOff) return true;
  const LayoutBox box = DeviceBox(cr, x, y, w, h, false, kind);
  if (t_keepOff)
    for (const LayoutBox& text : *t_keepOff)
      if (text.text && box.Meets(text, 4)) return false;
  if (t_layout) t_layout->push_back(box);
  return true;
}

}  // namespace

std::vector<LayoutBox>* RecordLayout(std::vector<LayoutBox>* boxes) { return std::exchange(t_layout, boxes); }
const std::vector<LayoutBox>* KeepDecorationsOff(const std::vector<LayoutBox>* text) {
  return std::exchange(t_keepOff, text);
}

double Text(cairo_t* cr, const std::string& utf8, double x, double y, double size, Rgb fill, Align align, bool bold,
            Rgb outline, double outlineWidth, const char* family) {
  cairo_save(cr);
  SelectFont(cr, size, bold, family);
  cairo_text_extents_t e;
  cairo_text_extents(cr, utf8.c_str(), &e);
  const double left = align == Align::Left ? x : align == Align::Center ? x - e.x_advance / 2 : x - e.x_advance;
  if (t_layout && !utf8.empty() && e.width > 0) {
    const double o = outlineWidth > 0 ? outlineWidth : 0;
    t_layout->push_back(DeviceBox(cr, left + e.x_bearing - o, y + e.y_bearing - o, e.width + 2 * o, e.height + 2 * o,
                                  true, utf8));
  }
  cairo_move_to(cr, left, y);
  cairo_text_path(cr, utf8.c_str());
  if (outlineWidth > 0) {
    SetColor(cr, outline);
    cairo_set_line_width(cr, outlineWidth * 2);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke_preserve(cr);
  }
  SetColor(cr, fill);
  cairo_fill(cr);
  cairo_restore(cr);
  return e.x_advance;
}

void Cloud(cairo_t* cr, double x, double y, double s, double alpha) {
  cairo_save(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, alpha);
  const double puffs[5][3] = {{0, 0, 18}, {22, -10, 22}, {46, -2, 18}, {62, 6, 13}, {-16, 6, 12}};
  for (const auto& p : puffs) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + p[0] * s, y + p[1] * s, p[2] * s, 0, 2 * kPi);
  }
  cairo_rectangle(cr, x - 16 * s, y + 2 * s, 78 * s, 17 * s);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Sun(cairo_t* cr, double x, double y, double radius) {
  if (!Decoration(cr, x - radius * 1.75, y - radius * 1.75, radius * 3.5, radius * 3.5, "sol")) return;
  cairo_save(cr);
  cairo_set_source_rgba(cr, 1, 0.85, 0.2, 0.35);
  for (int i = 0; i < 12; ++i) {
    const double a = i * kPi / 6;
    cairo_move_to(cr, x + std::cos(a - 0.12) * radius * 1.2, y + std::sin(a - 0.12) * radius * 1.2);
    cairo_line_to(cr, x + std::cos(a) * radius * 1.75, y + std::sin(a) * radius * 1.75);
    cairo_line_to(cr, x + std::cos(a + 0.12) * radius * 1.2, y + std::sin(a + 0.12) * radius * 1.2);
  }
  cairo_fill(cr);
  cairo_pattern_t* p = cairo_pattern_create_radial(x - radius / 3, y - radius / 3, radius / 6, x, y, radius);
  cairo_pattern_add_color_stop_rgb(p, 0, 1, 0.98, 0.6);
  cairo_pattern_add_color_stop_rgb(p, 1, 1, 0.78, 0.1);
  cairo_arc(cr, x, y, radius, 0, 2 * kPi);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  cairo_restore(cr);
}

void Star(cairo_t* cr, double cx, double cy, double outer, double inner, int points, Rgb fill) {
  const double reach = outer + std::max(1.0, outer / 10) / 2;
  if (!Decoration(cr, cx - reach, cy - reach, 2 * reach, 2 * reach, "estrella")) return;
  cairo_save(cr);
  for (int i = 0; i < 2 * points; ++i) {
    const double a = -kPi / 2 + i * kPi / points, r = i % 2 ? inner : outer;
    if (i == 0) cairo_move_to(cr, cx + std::cos(a) * r, cy + std::sin(a) * r);
    else cairo_line_to(cr, cx + std::cos(a) * r, cy + std::sin(a) * r);
  }
  cairo_close_path(cr);
  SetColor(cr, fill);
  cairo_fill_preserve(cr);
  SetColor(cr, Shade(fill, -0.35));
  cairo_set_line_width(cr, std::max(1.0, outer / 10));
  cairo_stroke(cr);
  cairo_restore(cr);
}

void Heart(cairo_t* cr, double cx, double cy, double s, Rgb fill) {
  if (!Decoration(cr, cx - 0.9 * s, cy - 0.75 * s, 1.8 * s, 1.2 * s, "corazón")) return;
  cairo_save(cr);
  cairo_move_to(cr, cx, cy + s * 0.45);
  cairo_curve_to(cr, cx - s * 0.9, cy - s * 0.1, cx - s * 0.45, cy - s * 0.75, cx, cy - s * 0.3);
  cairo_curve_to(cr, cx + s * 0.45, cy - s * 0.75, cx + s * 0.9, cy - s * 0.1, cx, cy + s * 0.45);
  SetColor(cr, fill);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Flower(cairo_t* cr, double cx, double cy, double size, Rgb petals, double open) {
  const double r = size * 0.5, reach = r * (0.55 * open + 0.5 * std::max(0.3, open)) + size / 40;
  if (!Decoration(cr, cx - reach, cy - reach, 2 * reach, 2 * reach, "flor")) return;
  cairo_save(cr);
  for (int i = 0; i < 6; ++i) {
    const double a = i * kPi / 3;
    cairo_save(cr);
    cairo_translate(cr, cx + std::cos(a) * r * 0.55 * open, cy + std::sin(a) * r * 0.55 * open);
    cairo_rotate(cr, a);
    cairo_scale(cr, 1.0, 0.6);
    cairo_arc(cr, 0, 0, r * 0.5 * std::max(0.3, open), 0, 2 * kPi);
    cairo_restore(cr);
    SetColor(cr, petals);
    cairo_fill_preserve(cr);
    SetColor(cr, Shade(petals, -0.3));
    cairo_set_line_width(cr, std::max(0.8, size / 40));
    cairo_stroke(cr);
  }
  cairo_arc(cr, cx, cy, r * 0.32, 0, 2 * kPi);
  SetColor(cr, Hex(0xFFD23F));
  cairo_fill(cr);
  cairo_restore(cr);
}

void Hills(cairo_t* cr, double width, double baseY, Rgb back, Rgb front) {
  cairo_save(cr);
  cairo_move_to(cr, 0, baseY);
  cairo_curve_to(cr, width * 0.2, baseY - 90, width * 0.4, baseY - 40, width * 0.55, baseY - 60);
  cairo_curve_to(cr, width * 0.75, baseY - 85, width * 0.9, baseY - 30, width, baseY - 50);
  cairo_line_to(cr, width, baseY + 400);
  cairo_line_to(cr, 0, baseY + 400);
  cairo_close_path(cr);
  SetColor(cr, back);
  cairo_fill(cr);
  cairo_move_to(cr, 0, baseY + 40);
  cairo_curve_to(cr, width * 0.3, baseY - 10, width * 0.6, baseY + 60, width, baseY + 10);
  cairo_line_to(cr, width, baseY + 400);
  cairo_line_to(cr, 0, baseY + 400);
  cairo_close_path(cr);
  SetColor(cr, front);
  cairo_fill(cr);
  cairo_restore(cr);
}

void Landscape(cairo_t* cr, double width, double height, uint32_t seed) {
  FillVertical(cr, 0, 0, width, height, Hex(0x6EC6FF), Hex(0xD9F2FF));
  Sun(cr, width * 0.85, height * 0.16, height * 0.07);
  uint32_t state = seed;
  for (int i = 0; i < 5; ++i) {
    const double x = (NextRandom(&state) % 1000) / 1000.0 * width * 0.9;
    const double y = height * (0.08 + (NextRandom(&state) % 100) / 100.0 * 0.25);
    Cloud(cr, x, y, height / 600.0 * (0.8 + (NextRandom(&state) % 60) / 100.0), 0.9);
  }
  Hills(cr, width, height * 0.72, Hex(0x8BD46E), Hex(0x5DBB4A));
  const Rgb colours[4] = {Hex(0xFF6F91), Hex(0xFFC75F), Hex(0xC77DFF), Hex(0xFFFFFF)};
  for (int i = 0; i < 26; ++i) {
    const double x = (NextRandom(&state) % 1000) / 1000.0 * width;
    const double y = height * (0.82 + (NextRandom(&state) % 100) / 100.0 * 0.16);
    Flower(cr, x, y, height / 600.0 * 18, colours[i % 4]);
  }
}

void FilmStrip(cairo_t* cr, double x, double y, double w, double h) {
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  SetColor(cr, Hex(0x2B2D42));
  cairo_fill(cr);
  const double hole = h * 0.16;
  for (double hx = x + hole; hx < x + w - hole; hx += hole * 2.2) {
    RoundRect(cr, hx, y + hole * 0.5, hole * 1.2, hole, hole * 0.25);
    RoundRect(cr, hx, y + h - hole * 1.5, hole * 1.2, hole, hole * 0.25);
  }
  SetColor(cr, Hex(0xF8F9FA));
  cairo_fill(cr);
  cairo_restore(cr);
}

static void Triangle(cairo_t* cr, double cx, double cy, double s, bool right) {
  const double d = right ? 1 : -1;
  cairo_move_to(cr, cx - d * s * 0.4, cy - s * 0.5);
  cairo_line_to(cr, cx + d * s * 0.5, cy);
  cairo_line_to(cr, cx - d * s * 0.4, cy + s * 0.5);
  cairo_close_path(cr);
}

static void VerticalTriangle(cairo_t* cr, double cx, double cy, double s, bool down) {
  const double d = down ? 1 : -1;
  cairo_move_to(cr, cx - s * 0.5, cy - d * s * 0.35);
  cairo_line_to(cr, cx, cy + d * s * 0.4);
  cairo_line_to(cr, cx + s * 0.5, cy - d * s * 0.35);
  cairo_close_path(cr);
}

void DrawIcon(cairo_t* cr, Icon icon, double cx, double cy, double s, Rgb ink) {
  cairo_save(cr);
  SetColor(cr, ink);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  const double lw = std::max(1.0, s * 0.11);
  cairo_set_line_width(cr, lw);
  switch (icon) {
    case Icon::None: break;
    case Icon::Play: Triangle(cr, cx + s * 0.05, cy, s * 0.8, true); cairo_fill(cr); break;
    case Icon::Pause:
      RoundRect(cr, cx - s * 0.3, cy - s * 0.35, s * 0.22, s * 0.7, s * 0.05);
      RoundRect(cr, cx + s * 0.08, cy - s * 0.35, s * 0.22, s * 0.7, s * 0.05);
      cairo_fill(cr);
      break;
    case Icon::Stop: RoundRect(cr, cx - s * 0.3, cy - s * 0.3, s * 0.6, s * 0.6, s * 0.08); cairo_fill(cr); break;
    case Icon::Record:
      cairo_arc(cr, cx, cy, s * 0.32, 0, 2 * kPi);
      SetColor(cr, Hex(0xE63946));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      break;
    case Icon::Back: case Icon::Left: Triangle(cr, cx, cy, s * 0.7, false); cairo_fill(cr); break;
    case Icon::Forward: case Icon::Right: Triangle(cr, cx, cy, s * 0.7, true); cairo_fill(cr); break;
    case Icon::Up: VerticalTriangle(cr, cx, cy, s * 0.8, false); cairo_fill(cr); break;
    case Icon::Down: VerticalTriangle(cr, cx, cy, s * 0.8, true); cairo_fill(cr); break;
    case Icon::StepBack:
      Triangle(cr, cx + s * 0.08, cy, s * 0.6, false);
      cairo_rectangle(cr, cx - s * 0.36, cy - s * 0.3, s * 0.12, s * 0.6);
      cairo_fill(cr);
      break;
    case Icon::StepForward:
      Triangle(cr, cx - s * 0.08, cy, s * 0.6, true);
      cairo_rectangle(cr, cx + s * 0.24, cy - s * 0.3, s * 0.12, s * 0.6);
      cairo_fill(cr);
      break;
    case Icon::Rewind:
      Triangle(cr, cx - s * 0.16, cy, s * 0.5, false);
      Triangle(cr, cx + s * 0.2, cy, s * 0.5, false);
      cairo_fill(cr);
      break;
    case Icon::FastForward:
      Triangle(cr, cx - s * 0.2, cy, s * 0.5, true);
      Triangle(cr, cx + s * 0.16, cy, s * 0.5, true);
      cairo_fill(cr);
      break;
    case Icon::ToStart:
      Triangle(cr, cx - s * 0.06, cy, s * 0.45, false);
      Triangle(cr, cx + s * 0.26, cy, s * 0.45, false);
      cairo_rectangle(cr, cx - s * 0.4, cy - s * 0.23, s * 0.1, s * 0.46);
      cairo_fill(cr);
      break;
    case Icon::ToEnd:
      Triangle(cr, cx - s * 0.26, cy, s * 0.45, true);
      Triangle(cr, cx + s * 0.06, cy, s * 0.45, true);
      cairo_rectangle(cr, cx + s * 0.3, cy - s * 0.23, s * 0.1, s * 0.46);
      cairo_fill(cr);
      break;
    case Icon::MoveLeft: case Icon::MoveRight: {
      const bool right = icon == Icon::MoveRight;
      Triangle(cr, cx + (right ? s * 0.18 : -s * 0.18), cy, s * 0.5, right);
      cairo_fill(cr);
      RoundRect(cr, cx + (right ? -s * 0.4 : s * 0.05), cy - s * 0.2, s * 0.35, s * 0.4, s * 0.06);
      cairo_stroke(cr);
      break;
    }
    case Icon::New:
      RoundRect(cr, cx - s * 0.28, cy - s * 0.36, s * 0.56, s * 0.72, s * 0.06);
      SetColor(cr, Hex(0xFFFFFF));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      Star(cr, cx + s * 0.2, cy - s * 0.22, s * 0.22, s * 0.1, 5, Hex(0xFFD23F));
      break;
    case Icon::Open:
      cairo_move_to(cr, cx - s * 0.4, cy + s * 0.3);
      cairo_line_to(cr, cx - s * 0.4, cy - s * 0.3);
      cairo_line_to(cr, cx - s * 0.12, cy - s * 0.3);
      cairo_line_to(cr, cx - s * 0.02, cy - s * 0.2);
      cairo_line_to(cr, cx + s * 0.34, cy - s * 0.2);
      cairo_line_to(cr, cx + s * 0.34, cy + s * 0.3);
      cairo_close_path(cr);
      SetColor(cr, Hex(0xFFC75F));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      break;
    case Icon::Save:
      RoundRect(cr, cx - s * 0.34, cy - s * 0.34, s * 0.68, s * 0.68, s * 0.06);
      SetColor(cr, Hex(0x4361EE));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      cairo_rectangle(cr, cx - s * 0.2, cy - s * 0.34, s * 0.4, s * 0.24);
      cairo_rectangle(cr, cx - s * 0.22, cy + s * 0.06, s * 0.44, s * 0.28);
      SetColor(cr, Hex(0xFFFFFF));
      cairo_fill(cr);
      break;
    case Icon::Export:
      RoundRect(cr, cx - s * 0.4, cy - s * 0.26, s * 0.5, s * 0.52, s * 0.06);
      cairo_stroke(cr);
      Triangle(cr, cx + s * 0.22, cy, s * 0.4, true);
      cairo_fill(cr);
      break;
    case Icon::Undo:
      cairo_arc(cr, cx + s * 0.02, cy + s * 0.05, s * 0.28, -kPi * 0.9, kPi * 0.55);
      cairo_stroke(cr);
      cairo_move_to(cr, cx - s * 0.42, cy - s * 0.28);
      cairo_line_to(cr, cx - s * 0.12, cy - s * 0.12);
      cairo_line_to(cr, cx - s * 0.38, cy + s * 0.05);
      cairo_close_path(cr);
      cairo_fill(cr);
      break;
    case Icon::Camera:
      RoundRect(cr, cx - s * 0.42, cy - s * 0.16, s * 0.56, s * 0.4, s * 0.06);
      cairo_fill(cr);
      cairo_move_to(cr, cx + s * 0.14, cy + s * 0.04);
      cairo_line_to(cr, cx + s * 0.44, cy - s * 0.14);
      cairo_line_to(cr, cx + s * 0.44, cy + s * 0.22);
      cairo_close_path(cr);
      cairo_fill(cr);
      cairo_arc(cr, cx - s * 0.26, cy - s * 0.3, s * 0.13, 0, 2 * kPi);
      cairo_arc(cr, cx - s * 0.0, cy - s * 0.3, s * 0.13, 0, 2 * kPi);
      cairo_fill(cr);
      break;
    case Icon::Help:
      Text(cr, "?", cx, cy + s * 0.3, s * 0.9, ink, Align::Center, true);
      break;
    case Icon::Close:
      cairo_set_line_width(cr, lw * 1.6);
      cairo_move_to(cr, cx - s * 0.25, cy - s * 0.25);
      cairo_line_to(cr, cx + s * 0.25, cy + s * 0.25);
      cairo_move_to(cr, cx + s * 0.25, cy - s * 0.25);
      cairo_line_to(cr, cx - s * 0.25, cy + s * 0.25);
      cairo_stroke(cr);
      break;
    case Icon::Scenes:
      RoundRect(cr, cx - s * 0.4, cy - s * 0.3, s * 0.8, s * 0.6, s * 0.08);
      SetColor(cr, Hex(0x9BE7FF));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      cairo_move_to(cr, cx - s * 0.36, cy + s * 0.26);
      cairo_line_to(cr, cx - s * 0.1, cy - s * 0.05);
      cairo_line_to(cr, cx + s * 0.08, cy + s * 0.12);
      cairo_line_to(cr, cx + s * 0.2, cy + s * 0.0);
      cairo_line_to(cr, cx + s * 0.36, cy + s * 0.26);
      cairo_close_path(cr);
      SetColor(cr, Hex(0x52B788));
      cairo_fill(cr);
      Sun(cr, cx + s * 0.2, cy - s * 0.14, s * 0.07);
      break;
    case Icon::Characters:
      cairo_arc(cr, cx, cy - s * 0.12, s * 0.22, 0, 2 * kPi);
      SetColor(cr, Hex(0xFFD6A5));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      cairo_arc(cr, cx - s * 0.08, cy - s * 0.15, s * 0.03, 0, 2 * kPi);
      cairo_arc(cr, cx + s * 0.08, cy - s * 0.15, s * 0.03, 0, 2 * kPi);
      cairo_fill(cr);
      cairo_arc(cr, cx, cy - s * 0.08, s * 0.1, 0.2, kPi - 0.2);
      cairo_set_line_width(cr, lw * 0.6);
      cairo_stroke(cr);
      cairo_move_to(cr, cx - s * 0.3, cy + s * 0.42);
      cairo_curve_to(cr, cx - s * 0.3, cy + s * 0.12, cx + s * 0.3, cy + s * 0.12, cx + s * 0.3, cy + s * 0.42);
      SetColor(cr, Hex(0xFF6F91));
      cairo_fill(cr);
      break;
    case Icon::Objects:
      cairo_arc(cr, cx - s * 0.1, cy + s * 0.08, s * 0.26, 0, 2 * kPi);
      SetColor(cr, Hex(0xFF9F1C));
      cairo_fill_preserve(cr);
      SetColor(cr, ink);
      cairo_stroke(cr);
      cairo_move_to(cr, cx - s * 0.36, cy + s * 0.08);
      cairo_line_to(cr, cx + s * 0.16, cy + s * 0.08);
      cairo_stroke(cr);
      Star(cr, cx + s * 0.24, cy - s * 0.22, s * 0.18, s * 0.08, 5, Hex(0xFFD23F));
      break;
    case Icon::Music:
      cairo_arc(cr, cx - s * 0.2, cy + s * 0.24, s * 0.12, 0, 2 * kPi);
      cairo_arc(cr, cx + s * 0.22, cy + s * 0.16, s * 0.12, 0, 2 * kPi);
      cairo_fill(cr);
      cairo_move_to(cr, cx - s * 0.09, cy + s * 0.24);
      cairo_line_to(cr, cx - s * 0.09, cy - s * 0.3);
      cairo_line_to(cr, cx + s * 0.33, cy - s * 0.38);
      cairo_line_to(cr, cx + s * 0.33, cy + s * 0.16);
      cairo_stroke(cr);
      break;
    case Icon::Clapper:
      cairo_rectangle(cr, cx - s * 0.4, cy - s * 0.1, s * 0.8, s * 0.46);
      cairo_fill(cr);
      cairo_save(cr);
      cairo_translate(cr, cx - s * 0.4, cy - s * 0.12);
      cairo_rotate(cr, -0.3);
      cairo_rectangle(cr, 0, -s * 0.16, s * 0.8, s * 0.16);
      cairo_fill(cr);
      SetColor(cr, Hex(0xFFFFFF));
      for (int i = 0; i < 4; ++i) {
        cairo_move_to(cr, s * (0.06 + i * 0.2), -s * 0.16);
        cairo_line_to(cr, s * (0.14 + i * 0.2), -s * 0.16);
        cairo_line_to(cr, s * (0.08 + i * 0.2), 0);
        cairo_line_to(cr, s * (0.0 + i * 0.2), 0);
        cairo_close_path(cr);
      }
      cairo_fill(cr);
      cairo_restore(cr);
      break;
    case Icon::Microphone:
      RoundRect(cr, cx - s * 0.13, cy - s * 0.4, s * 0.26, s * 0.48, s * 0.13);
      cairo_fill(cr);
      cairo_arc(cr, cx, cy - s * 0.06, s * 0.24, 0, kPi);
      cairo_stroke(cr);
      cairo_move_to(cr, cx, cy + s * 0.18);
      cairo_line_to(cr, cx, cy + s * 0.38);
      cairo_move_to(cr, cx - s * 0.16, cy + s * 0.38);
      cairo_line_to(cr, cx + s * 0.16, cy + s * 0.38);
      cairo_stroke(cr);
      break;
    case Icon::Blocks: {
      const uint32_t colours[3] = {0xFF6F91, 0x4CC9F0, 0xFFC75F};
      const double boxes[3][2] = {{-0.38, 0.02}, {0.02, 0.02}, {-0.18, -0.36}};
      for (int i = 0; i < 3; ++i) {
        RoundRect(cr, cx + boxes[i][0] * s, cy + boxes[i][1] * s, s * 0.36, s * 0.34, s * 0.04);
        SetColor(cr, Hex(colours[i]));
        cairo_fill_preserve(cr);
        SetColor(cr, ink);
        cairo_stroke(cr);
      }
      break;
    }
    case Icon::Check:
      cairo_set_line_width(cr, lw * 1.5);
      cairo_move_to(cr, cx - s * 0.3, cy);
      cairo_line_to(cr, cx - s * 0.08, cy + s * 0.24);
      cairo_line_to(cr, cx + s * 0.32, cy - s * 0.26);
      cairo_stroke(cr);
      break;
  }
  cairo_restore(cr);
}

const char* StateName(State s) {
  switch (s) {
    case State::Normal: return "Normal";
    case State::Over: return "Over";
    case State::Click: return "Click";
    case State::Disabled: return "Disabled";
  }
  return "";
}

Canvas ButtonPicture(int width, int height, Shape shape, Rgb colour, Icon icon, State state, const std::string& caption,
                     double captionSize) {
  Canvas canvas(width, height);
  cairo_t* cr = canvas.cr();
  Rgb body = colour, ink = Hex(0x1D1E2C);
  double shift = 0;
  switch (state) {
    case State::Normal: break;
    case State::Over: body = Shade(colour, 0.3); break;
    case State::Click: body = Shade(colour, -0.2); shift = 1; break;
    case State::Disabled: body = Shade(Grey(colour), 0.25); ink = Hex(0x8D8F99); break;
  }
  const double w = width, h = height;
  // The body: every pixel of the clickable shape comes out fully opaque. A shape that is
  // not a rectangle keeps a clear pixel all round, so no edge of the picture is a
  // straight run of its outline and it never shows as a square.
  const double margin = shape == Shape::Plain ? 0 : 1;
  auto outline = [&](double inset) {
    inset += margin;
    switch (shape) {
      case Shape::Circle: cairo_arc(cr, w / 2, h / 2 + shift * 0.5, std::min(w, h) / 2 - inset, 0, 6.283185307179586); break;
      case Shape::Pill: RoundRect(cr, inset, inset, w - 2 * inset, h - 2 * inset, h / 2); break;
      case Shape::Round: RoundRect(cr, inset, inset, w - 2 * inset, h - 2 * inset, std::min(w, h) * 0.22); break;
      case Shape::Plain: cairo_rectangle(cr, inset, inset, w - 2 * inset, h - 2 * inset); break;
    }
  };
  outline(0);
  SetColor(cr, Shade(body, -0.45));
  cairo_fill(cr);
  const double border = std::max(1.0, std::min(w, h) / 14);
  outline(border);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 0, h);
  const Rgb top = Shade(body, state == State::Click ? -0.05 : 0.35), bottom = Shade(body, -0.1);
  cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
  cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
  if (state == State::Over) {
    outline(border);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.9);
    cairo_set_line_width(cr, border);
    cairo_stroke(cr);
  }
  const double iconSize = std::min(w, h) * (caption.empty() ? 0.72 : 0.6);
  if (caption.empty()) {
    DrawIcon(cr, icon, w / 2, h / 2 + shift, iconSize, ink);
  } else if (h > w * 0.6) {  // tall: the icon above its caption
    const double size = captionSize > 0 ? captionSize : h * 0.14;
    DrawIcon(cr, icon, w / 2, h * 0.42 + shift, std::min(w, h) * 0.55, ink);
    Text(cr, caption, w / 2, h * 0.86 + shift, size, state == State::Disabled ? ink : Hex(0xFFFFFF), Align::Center, true,
         Shade(body, -0.55), std::max(1.0, size / 12));
  } else {
    const double size = captionSize > 0 ? captionSize : h * 0.42;
    double textX = w / 2;
    if (icon != Icon::None) {
      DrawIcon(cr, icon, h * 0.5, h / 2 + shift, iconSize, ink);
      textX = h * 0.85 + (w - h * 0.85) / 2;
    }
    Text(cr, caption, textX, h / 2 + size * 0.35 + shift, size, state == State::Disabled ? ink : Hex(0xFFFFFF),
         Align::Center, true, Shade(body, -0.55), std::max(1.0, size / 12));
  }
  return canvas;
}

}  // namespace contentgen
