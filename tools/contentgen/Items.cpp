// The item pack writer and the sample backgrounds and objects.
#include "tools/contentgen/Items.h"

#include <cmath>
#include <cstdio>

#include "tools/contentgen/Loudness.h"
#include "tools/contentgen/Synth.h"
#include "tools/slpack/PackWriter.h"

namespace contentgen {

void ItemPack::Key(const std::string& section, const std::string& key, const std::string& value) {
  for (Section& s : m_sections)
    if (s.name == section) {
      s.keys.emplace_back(key, value);
      return;
    }
  m_sections.push_back({section, {{key, value}}});
}

std::string ItemPack::Info(TextForm form) const {
  std::string utf8;
  for (const Section& s : m_sections) {
    utf8 += "[" + s.name + "]\r\n";
    for (const auto& [key, value] : s.keys) utf8 += (key.empty() ? value : key + "=" + value) + "\r\n";
    utf8 += "\r\n";
  }
  if (form == TextForm::Utf8) return "\xEF\xBB\xBF" + utf8;
  const std::u16string wide = slpack::Utf8ToUtf16(utf8);
  std::string out;
  if (form == TextForm::Utf16) {
    out = "\xFF\xFE";
    for (char16_t c : wide) {
      out.push_back(char(c & 0xFF));
      out.push_back(char(c >> 8));
    }
    return out;
  }
  // Every letter the items use lies in Latin-1's upper half, where Windows-1252 agrees.
  for (char16_t c : wide) out.push_back(c < 0x100 && (c < 0x80 || c >= 0xA0) ? char(c) : '?');
  return out;
}

bool ItemPack::Write(const std::filesystem::path& path, uint16_t version, uint32_t key, TextForm form,
                     std::string* error) {
  m_files.AddBytes("info.txt", Info(form));
  return m_files.Write(path, version, key, error);
}

PackForm PackFormFor(size_t index) {
  static const uint32_t kKeys[] = {0x5A3C9E71, 0x00C0FFEE, 0x13579BDF};
  return {uint16_t(2 + index % 2), index / 2 % 2 ? kKeys[index % 3] : 0u};
}

namespace {

constexpr int kStageWidth = 664, kStageHeight = 372;

// A stage: its picture, where its floor starts (the far edge, row by column), and the
// obstacle that nobody may stand on.
struct Stage {
  const char* file;
  const char* name;
  const char* itemClass;
  void (*draw)(cairo_t*);
  double (*floorTop)(double x);
  bool (*obstacle)(double x, double y);
  void (*front)(cairo_t*);  // null: no "frente.tga"
  TextForm form;
};

// The stage mask: 0 off the floor and on the obstacle; on the floor, about 40 at its far
// edge rising to 255 on the bottom row, so the program draws people half size at the
// back and full size at the front.
uint8_t MaskAt(const Stage& stage, int x, int y) {
  const double top = stage.floorTop(x);
  if (y < top || stage.obstacle(x, y)) return 0;
  const double t = (y - top) / std::max(1.0, kStageHeight - 1 - top);
  return uint8_t(std::lround(40 + 215 * std::min(1.0, t)));
}

void Tree(cairo_t* cr, double x, double base, double size) {
  cairo_rectangle(cr, x - size * 0.08, base - size * 0.9, size * 0.16, size * 0.9);
  SetColor(cr, Hex(0x8D5B3C));
  cairo_fill(cr);
  for (int i = 0; i < 5; ++i) {
    cairo_arc(cr, x + std::cos(i * 1.3) * size * 0.28, base - size * (1.05 + 0.12 * std::sin(i * 2.1)), size * 0.33,
              0, 2 * M_PI);
    SetColor(cr, Shade(Hex(0x3FA34D), 0.06 * i - 0.1));
    cairo_fill(cr);
  }
}

// The park: sky, hills, a lawn with a path and a pond in the middle of it.
double ParkFloor(double) { return 150; }
bool ParkPond(double x, double y) { return std::pow((x - 430) / 78, 2) + std::pow((y - 252) / 30, 2) <= 1; }
void ParkDraw(cairo_t* cr) {
  Landscape(cr, kStageWidth, 160, 7);
  FillVertical(cr, 0, 150, kStageWidth, kStageHeight - 150, Hex(0x7BCB5A), Hex(0x4E9E3A));
  Tree(cr, 70, 160, 70);
  Tree(cr, 560, 158, 60);
  cairo_move_to(cr, 260, 150);
  cairo_curve_to(cr, 240, 230, 120, 300, 90, 372);
  cairo_line_to(cr, 250, 372);
  cairo_curve_to(cr, 260, 300, 300, 220, 300, 150);
  cairo_close_path(cr);
  SetColor(cr, Hex(0xE8CFA0));
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, 430, 252);
  cairo_scale(cr, 82, 34);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  SetColor(cr, Hex(0x3E9BD6));
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(0x9E8B6B));
  cairo_set_line_width(cr, 5);
  cairo_stroke(cr);
  const Rgb colours[3] = {Hex(0xFF6F91), Hex(0xFFC75F), Hex(0xFFFFFF)};
  for (int i = 0; i < 14; ++i) Flower(cr, 20 + i * 47 % 640, 170 + (i * 73) % 40, 9, colours[i % 3]);
}
void ParkFront(cairo_t* cr) {
  // A bush in the near left corner and a branch hanging in from the top right.
  for (int i = 0; i < 6; ++i) {
    cairo_arc(cr, 10 + i * 22, 372 - 18 - 14 * std::sin(i * 0.7 + 0.4), 30, 0, 2 * M_PI);
    SetColor(cr, Shade(Hex(0x2E7D32), 0.05 * (i % 3)));
    cairo_fill(cr);
  }
  for (int i = 0; i < 5; ++i) Flower(cr, 20 + i * 24, 352 - (i % 2) * 14, 8, Hex(0xFF6F91));
  cairo_move_to(cr, 664, 0);
  cairo_curve_to(cr, 620, 20, 590, 30, 560, 28);
  SetColor(cr, Hex(0x6D4C41));
  cairo_set_line_width(cr, 7);
  cairo_stroke(cr);
  for (int i = 0; i < 7; ++i) {
    cairo_save(cr);
    cairo_translate(cr, 570 + i * 14, 26 + (i % 3) * 6);
    cairo_rotate(cr, 0.6 * i);
    cairo_scale(cr, 12, 6);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    SetColor(cr, Hex(0x43A047, 0.95));
    cairo_fill(cr);
  }
}

// The beach: sky, the sea behind a sandy shore with a wavy edge, a rock on the sand.
double BeachFloor(double x) { return 196 + 6 * std::sin(x / 37.0); }
bool BeachRock(double x, double y) { return std::pow((x - 190) / 52, 2) + std::pow((y - 292) / 22, 2) <= 1; }
void BeachDraw(cairo_t* cr) {
  FillVertical(cr, 0, 0, kStageWidth, 120, Hex(0x64B5F6), Hex(0xE3F2FD));
  Sun(cr, 110, 50, 28);
  Cloud(cr, 380, 40, 0.8, 0.9);
  FillVertical(cr, 0, 118, kStageWidth, 110, Hex(0x1E88E5), Hex(0x4FC3F7));
  for (int row = 0; row < 4; ++row)
    for (int x = (row * 29) % 60; x < kStageWidth; x += 70) {
      cairo_arc(cr, x, 135 + row * 17, 9, M_PI * 1.1, M_PI * 1.9);
      SetColor(cr, Hex(0xFFFFFF, 0.6));
      cairo_set_line_width(cr, 2);
      cairo_stroke(cr);
    }
  cairo_move_to(cr, 0, BeachFloor(0));
  for (int x = 0; x <= kStageWidth; x += 4) cairo_line_to(cr, x, BeachFloor(x));
  cairo_line_to(cr, kStageWidth, kStageHeight);
  cairo_line_to(cr, 0, kStageHeight);
  cairo_close_path(cr);
  SetColor(cr, Hex(0xF4DDA4));
  cairo_fill(cr);
  for (int i = 0; i < 9; ++i) Star(cr, 60 + i * 71 % 600, 230 + (i * 53) % 120, 7, 3, 5, Hex(0xFF8A65));
  cairo_save(cr);
  cairo_translate(cr, 190, 282);
  cairo_scale(cr, 58, 34);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  SetColor(cr, Hex(0x8D8D8D));
  cairo_fill(cr);
}

// Grandmother's living room: papered wall, a window, a wooden floor and a sofa on it.
double HouseFloor(double) { return 188; }
bool HouseSofa(double x, double y) { return x >= 392 && x < 572 && y >= 196 && y < 262; }
void HouseDraw(cairo_t* cr) {
  cairo_rectangle(cr, 0, 0, kStageWidth, 190);
  SetColor(cr, Hex(0xF3E5AB));
  cairo_fill(cr);
  for (int x = 10; x < kStageWidth; x += 40) {
    cairo_rectangle(cr, x, 0, 12, 190);
    SetColor(cr, Hex(0xEAD58A));
    cairo_fill(cr);
  }
  RoundRect(cr, 120, 36, 130, 100, 6);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_fill(cr);
  FillVertical(cr, 128, 44, 114, 84, Hex(0x81D4FA), Hex(0xE1F5FE));
  cairo_rectangle(cr, 183, 44, 4, 84);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_fill(cr);
  RoundRect(cr, 440, 50, 60, 50, 4);
  SetColor(cr, Hex(0xB77B4D));
  cairo_fill(cr);
  Heart(cr, 470, 75, 26, Hex(0xE57373));
  FillVertical(cr, 0, 188, kStageWidth, kStageHeight - 188, Hex(0xC28E5C), Hex(0x8D5A32));
  for (int y = 200; y < kStageHeight; y += 22) {
    cairo_move_to(cr, 0, y);
    cairo_line_to(cr, kStageWidth, y);
    SetColor(cr, Hex(0x7A4B27, 0.5));
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
  }
  // The sofa: back, seat and arms.
  RoundRect(cr, 386, 150, 192, 70, 16);
  SetColor(cr, Hex(0xAD5C8A));
  cairo_fill(cr);
  RoundRect(cr, 386, 206, 192, 54, 10);
  SetColor(cr, Hex(0xC2739F));
  cairo_fill(cr);
  for (double x : {376.0, 560.0}) {
    RoundRect(cr, x, 186, 28, 76, 10);
    SetColor(cr, Hex(0x9C4D79));
    cairo_fill(cr);
  }
}
void HouseFront(cairo_t* cr) {
  // A potted plant in the near right corner and the edge of a curtain on the left.
  RoundRect(cr, 590, 322, 56, 50, 6);
  SetColor(cr, Hex(0xD84315));
  cairo_fill(cr);
  for (int i = 0; i < 7; ++i) {
    cairo_save(cr);
    cairo_translate(cr, 618, 318);
    cairo_rotate(cr, -1.2 + i * 0.4);
    cairo_scale(cr, 10, 34);
    cairo_arc(cr, 0, -1, 1, 0, 2 * M_PI);
    cairo_restore(cr);
    SetColor(cr, Shade(Hex(0x388E3C), 0.05 * (i % 3)));
    cairo_fill(cr);
  }
  cairo_move_to(cr, 0, 0);
  cairo_line_to(cr, 46, 0);
  cairo_curve_to(cr, 30, 120, 56, 220, 24, 372);
  cairo_line_to(cr, 0, 372);
  cairo_close_path(cr);
  SetColor(cr, Hex(0x7E57C2, 0.96));
  cairo_fill(cr);
}

const Stage kStages[] = {
    {"Parque.DAT", "Parque", "Exterior", ParkDraw, ParkFloor, ParkPond, ParkFront, TextForm::Windows1252},
    {"Playa.DAT", "Playa", "Exterior", BeachDraw, BeachFloor, BeachRock, nullptr, TextForm::Utf8},
    {"Casa.DAT", "Casa de la abuela", "Interior", HouseDraw, HouseFloor, HouseSofa, HouseFront,
     TextForm::Windows1252},
};

// The stage picture with its mask in the alpha channel, as "fondo.tga" holds it.
bool StagePicture(const Stage& stage, CSLImage* out) {
  Canvas picture(kStageWidth, kStageHeight);
  stage.draw(picture.cr());
  if (!picture.ToImage(out)) return false;
  for (int y = 0; y < kStageHeight; ++y) {
    uint8_t* row = out->GetPixelAddress(0, u32(y));
    for (int x = 0; x < kStageWidth; ++x) row[4 * x + 3] = MaskAt(stage, x, y);
  }
  return true;
}

}  // namespace

bool WriteBackgrounds(Context& context, std::string* error) {
  const std::filesystem::path folder = context.out / "Gfx" / "Fondos";
  for (size_t i = 0; i < std::size(kStages); ++i) {
    const Stage& stage = kStages[i];
    ItemPack pack(context);
    CSLImage picture;
    if (!StagePicture(stage, &picture)) return (*error = std::string(stage.name) + ": out of memory"), false;
    std::string tga = TgaFile(picture, i % 2 == 1, error);
    if (tga.empty()) return false;
    pack.File("fondo.tga", std::move(tga));
    if (stage.front) {
      Canvas front(kStageWidth, kStageHeight);
      stage.front(front.cr());
      CSLImage image;
      if (!front.ToImage(&image) || (tga = TgaFile(image, true, error)).empty()) return false;
      pack.File("frente.tga", std::move(tga));
    }
    pack.Key("General", "Clase", stage.itemClass);
    pack.Key("General", "Nombre", stage.name);
    const PackForm form = PackFormFor(i);
    if (!pack.Write(folder / stage.file, form.version, form.key, stage.form, error)) return false;
  }
  return true;
}

namespace {

// One object picture: a canvas with the floor contact (or, for things that float, the
// base) at the point.
struct ObjectFrame {
  Canvas canvas;
  unsigned pointX, pointY;
};

ObjectFrame Table() {
  ObjectFrame f{Canvas(170, 96), 85, 94};
  cairo_t* cr = f.canvas.cr();
  for (double x : {14.0, 146.0}) {
    cairo_rectangle(cr, x, 24, 10, 70);
    SetColor(cr, Hex(0x8D5B3C));
    cairo_fill(cr);
  }
  RoundRect(cr, 2, 10, 166, 18, 5);
  SetColor(cr, Hex(0xB07A4F));
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(0x6D4326));
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  return f;
}

ObjectFrame Chair() {
  ObjectFrame f{Canvas(80, 130), 40, 128};
  cairo_t* cr = f.canvas.cr();
  const Rgb wood = Hex(0xA1683F);
  for (double x : {10.0, 62.0}) {
    cairo_rectangle(cr, x, 10, 8, 118);
    SetColor(cr, wood);
    cairo_fill(cr);
  }
  for (double y : {18.0, 36.0}) {
    cairo_rectangle(cr, 10, y, 60, 7);
    SetColor(cr, Shade(wood, -0.1));
    cairo_fill(cr);
  }
  RoundRect(cr, 4, 70, 72, 12, 4);
  SetColor(cr, Hex(0xE57373));
  cairo_fill(cr);
  return f;
}

// The door opening: `open` 0 closed .. 1 open, the leaf turning on its left hinge.
ObjectFrame Door(double open) {
  ObjectFrame f{Canvas(110, 180), 55, 178};
  cairo_t* cr = f.canvas.cr();
  RoundRect(cr, 4, 2, 102, 176, 4);
  SetColor(cr, Hex(0x5D4037));
  cairo_fill(cr);
  cairo_rectangle(cr, 12, 10, 86, 168);
  SetColor(cr, Hex(0x263238));
  cairo_fill(cr);
  const double width = 86 * std::cos(open * 1.35);
  cairo_rectangle(cr, 12, 10, std::max(4.0, width), 168);
  SetColor(cr, Shade(Hex(0x8D6E63), -0.25 * open));
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(0x4E342E));
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  if (width > 20) {
    cairo_arc(cr, 12 + width - 10, 96, 4, 0, 2 * M_PI);
    SetColor(cr, Hex(0xFFD54F));
    cairo_fill(cr);
  }
  return f;
}

// The lamp: a shade on a stand, with a glow around it when lit (`glow` 0 off .. 1).
ObjectFrame Lamp(double glow) {
  ObjectFrame f{Canvas(80, 110), 40, 108};
  cairo_t* cr = f.canvas.cr();
  if (glow > 0) {
    cairo_pattern_t* halo = cairo_pattern_create_radial(40, 34, 4, 40, 34, 38);
    cairo_pattern_add_color_stop_rgba(halo, 0, 1, 0.93, 0.5, 0.75 * glow);
    cairo_pattern_add_color_stop_rgba(halo, 1, 1, 0.93, 0.5, 0);
    cairo_set_source(cr, halo);
    cairo_arc(cr, 40, 34, 38, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_pattern_destroy(halo);
  }
  cairo_rectangle(cr, 37, 44, 6, 56);
  SetColor(cr, Hex(0x795548));
  cairo_fill(cr);
  RoundRect(cr, 24, 98, 32, 10, 3);
  cairo_fill(cr);
  cairo_move_to(cr, 26, 18);
  cairo_line_to(cr, 54, 18);
  cairo_line_to(cr, 64, 48);
  cairo_line_to(cr, 16, 48);
  cairo_close_path(cr);
  SetColor(cr, glow > 0 ? Hex(0xFFF59D) : Hex(0xF0C987));
  cairo_fill_preserve(cr);
  SetColor(cr, Hex(0xB08D57));
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
  return f;
}

// The ball at `height` pixels above the floor, squashed when it touches it.
ObjectFrame Ball(double height) {
  ObjectFrame f{Canvas(44, 90), 22, 88};
  cairo_t* cr = f.canvas.cr();
  cairo_save(cr);
  cairo_translate(cr, 22, 88 - 17 - height);
  const double squash = height < 1 ? 0.82 : 1.0;
  cairo_translate(cr, 0, 17 * (1 - squash));
  cairo_scale(cr, 1 / std::sqrt(squash), squash);
  cairo_arc(cr, 0, 0, 17, 0, 2 * M_PI);
  SetColor(cr, Hex(0xE53935));
  cairo_fill_preserve(cr);
  cairo_clip(cr);
  cairo_rectangle(cr, -20, -5, 40, 10);
  SetColor(cr, Hex(0xFFFFFF));
  cairo_fill(cr);
  cairo_arc(cr, -6, -8, 4, 0, 2 * M_PI);
  SetColor(cr, Hex(0xFFFFFF, 0.6));
  cairo_fill(cr);
  cairo_restore(cr);
  return f;
}

// The radio, its speaker pulsing while it plays (`beat` 0 .. 1).
ObjectFrame Radio(double beat) {
  ObjectFrame f{Canvas(70, 56), 35, 54};
  cairo_t* cr = f.canvas.cr();
  cairo_move_to(cr, 20, 12);
  cairo_line_to(cr, 50, 2);
  SetColor(cr, Hex(0x757575));
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  RoundRect(cr, 3, 12, 64, 42, 8);
  SetColor(cr, Hex(0x26A69A));
  cairo_fill(cr);
  cairo_arc(cr, 24, 33, 12 + 2 * beat, 0, 2 * M_PI);
  SetColor(cr, Hex(0x37474F));
  cairo_fill(cr);
  RoundRect(cr, 42, 22, 18, 8, 2);
  SetColor(cr, beat > 0 ? Hex(0xFFEB3B) : Hex(0xCFD8DC));
  cairo_fill(cr);
  cairo_arc(cr, 51, 42, 4, 0, 2 * M_PI);
  SetColor(cr, Hex(0xECEFF1));
  cairo_fill(cr);
  return f;
}

// The balloon on its string, swaying; the point is the end of the string.
ObjectFrame Balloon(double sway) {
  ObjectFrame f{Canvas(60, 120), 30, 118};
  cairo_t* cr = f.canvas.cr();
  const double cx = 30 + sway * 5;
  cairo_move_to(cr, 30, 118);
  cairo_curve_to(cr, 26, 100, 34 + sway * 4, 80, cx, 62);
  SetColor(cr, Hex(0x616161));
  cairo_set_line_width(cr, 1.2);
  cairo_stroke(cr);
  cairo_save(cr);
  cairo_translate(cr, cx, 34);
  cairo_scale(cr, 22, 28);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
  SetColor(cr, Hex(0xAB47BC));
  cairo_fill(cr);
  cairo_arc(cr, cx - 8, 22, 5, 0, 2 * M_PI);
  SetColor(cr, Hex(0xFFFFFF, 0.5));
  cairo_fill(cr);
  return f;
}

ObjectFrame CloudPicture() {
  ObjectFrame f{Canvas(160, 80), 80, 78};
  Cloud(f.canvas.cr(), 80, 44, 1.0, 1.0);
  return f;
}

std::string Creak() {
  Track t(22050, 0.9, 1);
  for (int i = 0; i < 6; ++i) t.Tone(i * 0.12, 0.14, 170 + 25 * (i % 3), 0.35, Timbre::Buzz, 0, 1.5);
  t.Noise(0, 0.8, 0.08, 0.3, 0.05, 0.2, 77);
  return NormalisedWaveFile(t.Samples(), t.Rate(), 1);
}

// A short cheerful tune that loops without a seam.
std::string RadioMusic() {
  SongPlan plan;
  plan.tempo = 132;
  plan.bars = 4;
  plan.key = 67;
  plan.seed = 46;
  plan.lead = Timbre::Marimba;
  Track t(22050, 4 * 4 * 60.0 / plan.tempo, 1, true);
  WriteSong(t, plan);
  return NormalisedWaveFile(t.Samples(), t.Rate(), 1);
}

struct ObjectItem {
  const char* file;
  void (*describe)(ItemPack&);
  TextForm form;
};

void General(ItemPack& p, const char* name, const char* itemClass, const char* initial, const char* floating = nullptr) {
  p.Key("General", "Clase", itemClass);
  p.Key("General", "Nombre", name);
  if (floating) p.Key("General", "Flotante", floating);
  p.Key("General", "Estado_Inicial", initial);
}

void Still(ItemPack& p, int index, const char* state, const char* base, const ObjectFrame& frame) {
  const std::string section = "Estado_" + std::to_string(index);
  p.Frame(std::string(base) + "_01.mximg", frame.canvas, frame.pointX, frame.pointY);
  p.Key(section, "Nombre", state);
  p.Key(section, "Animación", base);
  p.Key(section, "Animación_Duración", "1000");
  p.Key(section, "Animación_Repite", "SIEMPRE");
}

// Frames base_01, base_02, ... drawn by `make` at each of `values`.
void Frames(ItemPack& p, const char* base, ObjectFrame (*make)(double), std::initializer_list<double> values) {
  int number = 0;
  for (double value : values) {
    const ObjectFrame frame = make(value);
    char name[64];
    std::snprintf(name, sizeof name, "%s_%02d.mximg", base, ++number);
    p.Frame(name, frame.canvas, frame.pointX, frame.pointY);
  }
}

const ObjectItem kObjects[] = {
    {"Mesa.DAT",
     [](ItemPack& p) {
       General(p, "Mesa", "Mueble", "Normal");
       Still(p, 1, "Normal", "mesa", Table());
       // The top takes anything but furniture; its right end also small things and a bird,
       // which may look only sideways from there.
       p.Key("Punto_Apoyo_1", "Posición", "CENTRO - 20, ARRIBA + 11");
       p.Key("Punto_Apoyo_1", "Acepta_Objetos", "SI");
       p.Key("Punto_Apoyo_1", "Clase_Objetos", "TODOS, -Mueble");
       p.Key("Punto_Apoyo_2", "Posición", "DERECHA - 24, ARRIBA + 11");
       p.Key("Punto_Apoyo_2", "Acepta_Objetos", "SI");
       p.Key("Punto_Apoyo_2", "Clase_Objetos", "Pequeño");
       p.Key("Punto_Apoyo_2", "Acepta_Personajes", "SI");
       p.Key("Punto_Apoyo_2", "Clase_Personajes1", "Pájaro, ForzarDirección = Izquierda; Derecha");
     },
     TextForm::Windows1252},
    {"Silla.DAT",
     [](ItemPack& p) {
       General(p, "Silla", "Silla", "Normal");
       Still(p, 1, "Normal", "silla", Chair());
       p.Key("Punto_Apoyo_1", "Posición", "CENTRO, ABAJO - 50");
       p.Key("Punto_Apoyo_1", "Acepta_Personajes", "SI");
       p.Key("Punto_Apoyo_1", "Clase_Personajes1", "Niña, ForzarDirección = Adelante");
       p.Key("Punto_Apoyo_1", "Clase_Personajes2", "Niño, ForzarDirección = Adelante");
       p.Key("Punto_Apoyo_1", "Clase_Personajes3", "Adulto, ForzarDirección = Adelante");
     },
     TextForm::Windows1252},
    {"Puerta.DAT",
     [](ItemPack& p) {
       General(p, "Puerta", "Abertura", "Cerrada");
       Still(p, 1, "Cerrada", "cerrada", Door(0));
       Frames(p, "abriendo", Door, {0.25, 0.5, 0.75, 1.0});
       p.Key("Estado_2", "Nombre", "Abriéndose");
       p.Key("Estado_2", "Animación", "abriendo");
       p.Key("Estado_2", "Animación_Duración", "600");
       p.Key("Estado_2", "Pasa_A_Estado", "Abierta");
       p.Key("Estado_2", "Audio", "crujido.wav");
       Still(p, 3, "Abierta", "abierta", Door(1));
       p.Key("Estado_4", "Nombre", "Cerrándose");
       p.Key("Estado_4", "Animación", "abriendo");
       p.Key("Estado_4", "Animación_Sentido_Inverso", "SI");
       p.Key("Estado_4", "Animación_Duración", "600");
       p.Key("Estado_4", "Pasa_A_Estado", "Cerrada");
       p.Key("Estado_4", "Audio", "crujido.wav");
       p.File("crujido.wav", Creak());
     },
     TextForm::Windows1252},
    {"Lampara.DAT",
     [](ItemPack& p) {
       General(p, "Lámpara", "Pequeño", "Apagada");
       Still(p, 1, "Apagada", "apagada", Lamp(0));
       Frames(p, "brillo", Lamp, {0.6, 0.8, 1.0});
       p.Key("Estado_2", "Nombre", "Encendida");
       p.Key("Estado_2", "Animación", "brillo");
       p.Key("Estado_2", "Animación_Ida_y_Vuelta", "SI");
       p.Key("Estado_2", "Animación_Duración", "1200");
       p.Key("Estado_2", "Animación_Repite", "SIEMPRE");
     },
     TextForm::Utf16},
    {"Pelota.DAT",
     [](ItemPack& p) {
       General(p, "Pelota", "Juguete", "Quieta");
       Still(p, 1, "Quieta", "quieta", Ball(0));
       Frames(p, "bote", Ball, {0, 22, 38, 48, 52});
       p.Key("Estado_2", "Nombre", "Botando");
       p.Key("Estado_2", "Animación", "bote");
       p.Key("Estado_2", "Animación_Secuencia", "1, 2, 3, 4, 5, 5, 4, 3, 2");
       p.Key("Estado_2", "Animación_Duración", "700");
       p.Key("Estado_2", "Animación_Repite", "3");
       p.Key("Estado_2", "Pasa_A_Estado", "Quieta");
     },
     TextForm::Windows1252},
    {"Radio.DAT",
     [](ItemPack& p) {
       General(p, "Radio", "Pequeño", "Apagada");
       Still(p, 1, "Apagada", "apagada", Radio(0));
       Frames(p, "sonando", Radio, {0.2, 1.0});
       p.Key("Estado_2", "Nombre", "Sonando");
       p.Key("Estado_2", "Animación", "sonando");
       p.Key("Estado_2", "Animación_Duración", "455");
       p.Key("Estado_2", "Animación_Repite", "SIEMPRE");
       p.Key("Estado_2", "Audio", "musica.wav");
       p.Key("Estado_2", "Audio_Repite", "SI");
       p.File("musica.wav", RadioMusic());
     },
     TextForm::Windows1252},
    {"Globo.DAT",
     [](ItemPack& p) {
       General(p, "Globo", "Juguete", "Flotando", "70");
       Frames(p, "globo", Balloon, {-1, 0, 1});
       p.Key("Estado_1", "Nombre", "Flotando");
       p.Key("Estado_1", "Animación", "globo");
       p.Key("Estado_1", "Animación_Ida_y_Vuelta", "SI");
       p.Key("Estado_1", "Animación_Duración", "2000");
       p.Key("Estado_1", "Animación_Repite", "SIEMPRE");
     },
     TextForm::Windows1252},
    {"Nube.DAT",
     [](ItemPack& p) {
       General(p, "Nube", "Cielo", "Quieta", "5");
       Still(p, 1, "Quieta", "nube", CloudPicture());
     },
     TextForm::Windows1252},
};

}  // namespace

bool WriteObjects(Context& context, std::string* error) {
  const std::filesystem::path folder = context.out / "Gfx" / "Objetos";
  for (size_t i = 0; i < std::size(kObjects); ++i) {
    ItemPack pack(context);
    kObjects[i].describe(pack);
    const PackForm form = PackFormFor(i + 1);
    if (!pack.Write(folder / kObjects[i].file, form.version, form.key, kObjects[i].form, error)) return false;
  }
  return true;
}

bool WriteSmallBackground(Context& context, const std::filesystem::path& path, const std::string& name,
                          const std::string& itemClass, int look, bool opaqueOutside, PackForm form,
                          std::string* error) {
  CSLImage picture;
  if (!StagePicture(kStages[look % std::size(kStages)], &picture)) return (*error = name + ": out of memory"), false;
  if (opaqueOutside)
    for (int y = 0; y < kStageHeight; ++y) {
      uint8_t* row = picture.GetPixelAddress(0, u32(y));
      for (int x = 0; x < kStageWidth; ++x) row[4 * x + 3] = x >= 50 && x <= 613 && y >= 20 && y <= 351 ? 0 : 255;
    }
  ItemPack pack(context);
  std::string tga = TgaFile(picture, true, error);
  if (tga.empty()) return false;
  pack.File("fondo.tga", std::move(tga));
  pack.Key("General", "Clase", itemClass);
  pack.Key("General", "Nombre", name);
  return pack.Write(path, form.version, form.key, TextForm::Windows1252, error);
}

bool WriteSmallObject(Context& context, const std::filesystem::path& path, const std::string& name,
                      const std::string& itemClass, const std::string& badLine, PackForm form, std::string* error) {
  ItemPack pack(context);
  General(pack, name.c_str(), itemClass.c_str(), "Normal");
  Still(pack, 1, "Normal", "cosa", Ball(0));
  if (!badLine.empty()) pack.Line("Estado_1", badLine);
  return pack.Write(path, form.version, form.key, TextForm::Windows1252, error);
}

bool WriteItems(Context& context, std::string* error) {
  const std::filesystem::path project = context.out / "Aventuras Guardadas" / "Paseo en el parque.ZQTR";
  return WriteBackgrounds(context, error) && WriteObjects(context, error) && WriteCharacters(context, error) &&
         RunDriver(context, {"project", context.projectWriter, project.string()}, error);
}

}  // namespace contentgen
