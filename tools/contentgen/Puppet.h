// The puppet renderer: the sample characters drawn with cairo from a few body measures
// and a pose, in any of the eight directions the catalogue knows (0 adelante, 1
// adelante_izquierda, 2 adelante_derecha, 3 atras, 4 atras_izquierda, 5 atras_derecha,
// 6 izquierda, 7 derecha). Every frame of a character shares one canvas (kFrameWidth x
// kFrameHeight) and one point, the feet at (kFeetX, kFeetY), so the program can place any
// frame of any action at the same spot.
#pragma once

#include "tools/contentgen/Drawing.h"

namespace contentgen {

inline constexpr int kFrameWidth = 120, kFrameHeight = 200;
inline constexpr int kFeetX = 60, kFeetY = 196;

enum class HairStyle { Pigtails, Short, Bun };

struct Puppet {
  double height;      // feet to the top of the head, in pixels
  Rgb skin, hair, shirt, legs, shoes;
  HairStyle hairStyle;
  bool skirt;         // a skirt over the top of the legs, in skirtColour
  Rgb skirtColour;
  bool glasses;
};

// What the body does in one frame; all zero is standing still, arms down.
struct Pose {
  double stride = 0;   // -1..1: the near leg forward (+) or back (-), arms swinging against it
  double bounce = 0;   // pixels the body rises (a step, a jump)
  double tuck = 0;     // 0..1: knees drawn up (in the air)
  double wave = 0;     // 0..1: the near arm raised to wave, -1..1 swinging at the top when raised
  double waveSwing = 0;
  double reach = 0;    // 0..1: both arms stretched forward (opening, switching on)
  double sit = 0;      // 0..1: from standing to seated on a chair seat
  double mouth = 0;    // 0..1: how open the mouth is
  double lookUp = 0;   // -1..1: the head tilted up (+) or down
  bool blink = false;
};

// Draws the puppet with its feet at (feetX, feetY).
void DrawPuppet(cairo_t* cr, const Puppet& puppet, const Pose& pose, int direction, double feetX, double feetY);

// The bird: wings from -1 (down) to 1 (up); `tilt` leans the body (a loop).
struct BirdPose {
  double wings = 0;
  double beak = 0;   // 0..1 open
  double lift = 0;   // pixels above the point
  double tilt = 0;   // radians
};
void DrawBird(cairo_t* cr, const BirdPose& pose, int direction, double feetX, double feetY);

}  // namespace contentgen
