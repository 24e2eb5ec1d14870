// Cairo drawing for the content generator: a canvas that hands its pixels over as a
// straight-alpha picture, PNG or PPM, and the shapes, texts and icons every picture is
// made of. Everything is drawn from fixed numbers, so the same build draws the same bytes.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/SLImage.h"

namespace contentgen {

struct Rgb {
  double r = 0, g = 0, b = 0, a = 1;
};

// 0xRRGGBB as a colour.
Rgb Hex(uint32_t rrggbb, double alpha = 1.0);
// Towards white (t > 0) or black (t < 0) by |t| of the way.
Rgb Shade(Rgb c, double t);
// The grey of the same brightness.
Rgb Grey(Rgb c);

class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(Canvas&& other) noexcept;
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* cr() const { return m_cr; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // B, G, R, A bytes with straight alpha (format 5).
  bool ToImage(CSLImage* out) const;
  // The pixels as a PNG file (cairo's own writer, no time stamp).
  std::string Png() const;
  // The pixels composed over `background` as a binary PPM, for the JPEG encoder.
  std::string Ppm(Rgb background) const;
  // Top row first: blue, green, red, alpha (premultiplied is fine for opaque frames).
  const uint8_t* Row(int y) const;
  int Stride() const;

 private:
  int m_width, m_height;
  cairo_surface_t* m_surface;
  cairo_t* m_cr;
};

enum class Align { Left, Center, Right };

// Where the letters and the decorations (stars, flowers, hearts, the sun) of a picture
// fall, in canvas pixels: screens keep their decorations off their text.
struct LayoutBox {
  bool text = false;
  double x = 0, y = 0, w = 0, h = 0;
  std::string label;  // the text, or the decoration's kind
  bool Meets(const LayoutBox& o, double gap) const {
    return x - gap < o.x + o.w && o.x < x + w + gap && y - gap < o.y + o.h && o.y < y + h + gap;
  }
};
// While `boxes` is set (on this thread), every text and decoration drawn adds its box.
// Returns the list set before.
std::vector<LayoutBox>* RecordLayout(std::vector<LayoutBox>* boxes);
// While `text` is set, a decoration that would come within 4 px of one of these text
// boxes is left out. Returns the list set before.
const std::vector<LayoutBox>* KeepDecorationsOff(const std::vector<LayoutBox>* text);

void SetColor(cairo_t* cr, Rgb c);
void RoundRect(cairo_t* cr, double x, double y, double w, double h, double r);
void FillVertical(cairo_t* cr, double x, double y, double w, double h, Rgb top, Rgb bottom);
// Text with its baseline at y; an outline when outlineWidth > 0. Returns the drawn width.
double Text(cairo_t* cr, const std::string& utf8, double x, double y, double size, Rgb fill, Align align,
            bool bold = true, Rgb outline = {}, double outlineWidth = 0, const char* family = "Comic Neue");
// The width the text would take.
double TextWidth(cairo_t* cr, const std::string& utf8, double size, bool bold = true, const char* family = "Comic Neue");

void Cloud(cairo_t* cr, double x, double y, double scale, double alpha = 1.0);
void Sun(cairo_t* cr, double x, double y, double radius);
void Star(cairo_t* cr, double cx, double cy, double outer, double inner, int points, Rgb fill);
void Heart(cairo_t* cr, double cx, double cy, double size, Rgb fill);
void Flower(cairo_t* cr, double cx, double cy, double size, Rgb petals, double open = 1.0);
void Hills(cairo_t* cr, double width, double baseY, Rgb back, Rgb front);
// A sky and meadow scene filling the canvas, the shared backdrop of the screens.
void Landscape(cairo_t* cr, double width, double height, uint32_t seed);
// A film strip band across x..x+w at y (h high).
void FilmStrip(cairo_t* cr, double x, double y, double w, double h);

enum class Icon {
  None, Play, Pause, Stop, Record, Back, Forward, StepBack, StepForward, Rewind, FastForward,
  ToStart, ToEnd, Left, Right, Up, Down, MoveLeft, MoveRight, New, Open, Save, Export, Undo,
  Camera, Help, Close, Scenes, Characters, Objects, Music, Clapper, Microphone, Blocks, Check,
};

// The icon centred at (cx, cy) within a square of `size`.
void DrawIcon(cairo_t* cr, Icon icon, double cx, double cy, double size, Rgb ink);

enum class State { Normal, Over, Click, Disabled };
const char* StateName(State s);

enum class Shape { Round, Circle, Pill, Plain };
// A button picture: an opaque body in `colour` (lighter when over, darker and pressed
// when clicked, grey when disabled) with the icon and optional caption.
Canvas ButtonPicture(int width, int height, Shape shape, Rgb colour, Icon icon, State state,
                     const std::string& caption = "", double captionSize = 0);

}  // namespace contentgen
