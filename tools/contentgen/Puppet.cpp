#include "tools/contentgen/Puppet.h"

#include <algorithm>
#include <cmath>

namespace contentgen {

namespace {

double Mix(double a, double b, double t) { return a + (b - a) * t; }

// How a direction shows the body: `side` is the screen side the puppet faces (-1 left,
// 1 right, 0 straight), `facing` 1 towards the viewer, -1 away, 0 in profile, and
// `profile` how much of a forward movement shows as sideways movement on the screen.
struct View {
  double side, facing, profile;
};

View ViewOf(int direction) {
  switch (direction) {
    case 1: return {-1, 1, 0.5};
    case 2: return {1, 1, 0.5};
    case 3: return {0, -1, 0};
    case 4: return {-1, -1, 0.5};
    case 5: return {1, -1, 0.5};
    case 6: return {-1, 0, 1};
    case 7: return {1, 0, 1};
    default: return {0, 1, 0};
  }
}

void Outline(cairo_t* cr, Rgb fill) {
  SetColor(cr, fill);
  cairo_fill_preserve(cr);
  SetColor(cr, Shade(fill, -0.5));
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
}

// A limb of two segments with round ends: an outlined stroke under a coloured one.
void Limb(cairo_t* cr, double x0, double y0, double x1, double y1, double x2, double y2, double width, Rgb colour) {
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_line_to(cr, x2, y2);
  SetColor(cr, Shade(colour, -0.5));
  cairo_set_line_width(cr, width + 3);
  cairo_stroke_preserve(cr);
  SetColor(cr, colour);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void Ellipse(cairo_t* cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  cairo_restore(cr);
}

struct Point {
  double x, y;
};

// A segment pair hanging from `from`, angles measured from straight down, positive
// towards the right of the screen.
Point Joint(Point from, double length, double angle) {
  return {from.x + length * std::sin(angle), from.y + length * std::cos(angle)};
}

}  // namespace

void DrawPuppet(cairo_t* cr, const Puppet& puppet, const Pose& pose, int direction, double feetX, double feetY) {
  const View view = ViewOf(direction);
  const double h = puppet.height;
  const double fx = view.side;                      // forward, as screen x
  const double lean = view.profile;                 // how much of "forward" shows sideways
  const double across = 1 - std::fabs(view.side) * (view.facing == 0 ? 1 : 0.35);  // width seen
  const double ground = feetY - pose.bounce;
  const double legLength = 0.47 * h;
  const double seatDrop = 0.2 * h * pose.sit;
  const double hipY = ground - legLength + seatDrop;
  const double bodyX = feetX - fx * 0.08 * h * pose.sit * lean;
  const double shoulderY = hipY - 0.29 * h;
  const double headRadius = 0.125 * h;
  const double headY = shoulderY - headRadius * 0.95 + pose.sit * 0.0;
  const double halfWidth = 0.15 * h * (0.45 + 0.55 * across);
  const double hipHalf = 0.07 * h * (0.25 + 0.75 * across);
  const double nearSide = view.side != 0 ? view.side : 1;
  cairo_save(cr);

  // Legs: the far one first. In profile the stride shows as feet apart; seen from the
  // front as the lifted foot; seated, the thighs point forward.
  auto leg = [&](double which, bool draw) {  // which: 1 near, -1 far
    const double stride = pose.stride * which;
    const double hip = bodyX + which * nearSide * hipHalf;
    const double swing = 0.45 * stride;
    Point knee{hip + std::sin(swing) * legLength * 0.5 * lean, hipY + legLength * 0.5};
    Point foot{hip + std::sin(swing) * legLength * lean, ground};
    foot.y -= std::max(0.0, stride) * 0.14 * legLength * (1 - lean);
    knee.y -= std::max(0.0, stride) * 0.1 * legLength * (1 - lean);
    // Knees up in the air.
    knee = {knee.x + fx * pose.tuck * 0.15 * legLength, knee.y - pose.tuck * 0.15 * legLength};
    foot = {foot.x - fx * pose.tuck * 0.05 * legLength, foot.y - pose.tuck * 0.3 * legLength};
    // Seated: the thigh goes forward to the seat's edge, the shin down to the floor.
    const Point seatedKnee{hip + fx * 0.22 * h * lean, hipY + 0.03 * h * (1 - lean)};
    const Point seatedFoot{seatedKnee.x, feetY - 0.0};
    knee = {Mix(knee.x, seatedKnee.x, pose.sit), Mix(knee.y, seatedKnee.y, pose.sit)};
    foot = {Mix(foot.x, seatedFoot.x, pose.sit), Mix(foot.y, seatedFoot.y, pose.sit)};
    if (!draw) return;
    Limb(cr, hip, hipY, knee.x, knee.y, foot.x, foot.y, 0.085 * h, which < 0 ? Shade(puppet.legs, -0.15) : puppet.legs);
    // The shoe points forward (sideways on the screen, down the page from the front).
    SetColor(cr, puppet.shoes);
    Ellipse(cr, foot.x + fx * 0.03 * h * (0.3 + lean), foot.y - 0.01 * h, 0.045 * h * (0.6 + 0.4 * lean) + 0.02 * h,
            0.028 * h);
    Outline(cr, puppet.shoes);
  };

  // Arms: hanging, swinging against the legs, stretched forward, or the near one waving.
  auto arm = [&](double which) {
    const double shoulderX = bodyX + which * nearSide * halfWidth * 0.92;
    const Point shoulder{shoulderX, shoulderY + 0.03 * h};
    const double armLength = 0.34 * h;
    const double outward = which * nearSide * 0.14 * (1 - lean);
    double upper = -0.5 * pose.stride * which * fx * lean + outward;
    double lower = upper + 0.12 * fx * lean;
    // Forward: horizontal in profile, hands meeting in front of the chest from the front.
    const double reachUpper = lean > 0.5 ? fx * 1.45 : -which * nearSide * 0.55 + fx * 0.6;
    const double reachLower = lean > 0.5 ? fx * 1.6 : -which * nearSide * 1.9 + fx * 0.5;
    upper = Mix(upper, reachUpper, pose.reach);
    lower = Mix(lower, reachLower, pose.reach);
    // Seated, the hands rest on the knees.
    upper = Mix(upper, fx * 0.35 * lean + outward, pose.sit * (1 - pose.reach));
    lower = Mix(lower, fx * 1.3 * lean + outward, pose.sit * (1 - pose.reach));
    if (which > 0 && pose.wave > 0) {
      const double up = (lean > 0.5 ? fx : nearSide) * 2.5;
      upper = Mix(upper, up, pose.wave);
      lower = Mix(lower, up + nearSide * (0.35 + 0.45 * pose.waveSwing) * -1 + 0.2, pose.wave);
    }
    const Point elbow = Joint(shoulder, armLength * 0.5, upper);
    const Point hand = Joint(elbow, armLength * 0.5, lower);
    Limb(cr, shoulder.x, shoulder.y, elbow.x, elbow.y, hand.x, hand.y, 0.065 * h,
         which < 0 ? Shade(puppet.shirt, -0.15) : puppet.shirt);
    SetColor(cr, puppet.skin);
    Ellipse(cr, hand.x, hand.y, 0.035 * h, 0.035 * h);
    Outline(cr, puppet.skin);
  };

  const bool back = view.facing < 0;
  // From behind, the near arm is on the far side of the body in depth order but still
  // outside the torso; draw far limbs, body, near limbs.
  arm(-1);
  leg(-1, true);
  leg(1, true);

  // The torso: a rounded shirt from shoulders to hips, a skirt below it when worn.
  SetColor(cr, puppet.shirt);
  RoundRect(cr, bodyX - halfWidth, shoulderY, 2 * halfWidth, hipY - shoulderY + 0.03 * h, 0.05 * h);
  Outline(cr, puppet.shirt);
  if (puppet.skirt) {
    const double top = hipY - 0.06 * h, bottom = hipY + 0.13 * h * (1 - 0.5 * pose.sit);
    cairo_move_to(cr, bodyX - halfWidth * 0.95, top);
    cairo_line_to(cr, bodyX + halfWidth * 0.95, top);
    cairo_line_to(cr, bodyX + halfWidth * 1.3 + fx * 0.1 * h * pose.sit * lean, bottom);
    cairo_line_to(cr, bodyX - halfWidth * 1.3 + fx * 0.1 * h * pose.sit * lean, bottom);
    cairo_close_path(cr);
    Outline(cr, puppet.skirtColour);
  }
  // Neck and head.
  SetColor(cr, puppet.skin);
  cairo_rectangle(cr, bodyX - 0.03 * h, shoulderY - 0.04 * h, 0.06 * h, 0.05 * h);
  cairo_fill(cr);
  const double headX = bodyX + fx * 0.01 * h;
  const double tilt = pose.lookUp * 0.04 * h;
  auto hairBlob = [&](double cx, double cy, double r) {
    Ellipse(cr, cx, cy, r, r);
    Outline(cr, puppet.hair);
  };
  if (puppet.hairStyle == HairStyle::Pigtails && !back) {
    hairBlob(headX - headRadius * 1.05 * across - fx * 0.3 * headRadius, headY + 0.2 * headRadius, 0.4 * headRadius);
    hairBlob(headX + headRadius * 1.05 * across - fx * 0.3 * headRadius, headY + 0.2 * headRadius, 0.4 * headRadius);
  }
  if (puppet.hairStyle == HairStyle::Bun) hairBlob(headX - fx * 0.55 * headRadius, headY - 0.9 * headRadius, 0.42 * headRadius);
  Ellipse(cr, headX, headY, headRadius * (0.92 + 0.08 * across), headRadius);
  Outline(cr, puppet.skin);

  // Hair: a cap over the top of the head, all of the head from behind.
  cairo_save(cr);
  Ellipse(cr, headX, headY, headRadius * (0.92 + 0.08 * across), headRadius);
  cairo_clip(cr);
  if (back) {
    cairo_rectangle(cr, headX - headRadius * 2, headY - headRadius * 2, headRadius * 4, headRadius * 2.6);
  } else {
    const double fringe = headY - headRadius * (0.25 + tilt / headRadius * 0.5);
    cairo_move_to(cr, headX - headRadius * 2, fringe + headRadius * 0.15);
    cairo_curve_to(cr, headX - headRadius * 0.5 + fx * headRadius, fringe - headRadius * 0.15,
                   headX + fx * headRadius * 0.6, fringe - headRadius * 0.1, headX + headRadius * 2, fringe + headRadius * 0.1);
    cairo_line_to(cr, headX + headRadius * 2, headY - headRadius * 2);
    cairo_line_to(cr, headX - headRadius * 2, headY - headRadius * 2);
    cairo_close_path(cr);
    // In profile the hair covers the back of the head too.
    if (lean > 0.5) {
      const double backX = fx > 0 ? headX - headRadius * 2.2 : headX + headRadius * 0.2;
      cairo_rectangle(cr, backX, headY - headRadius * 2, headRadius * 2, headRadius * 2.6);
    }
  }
  SetColor(cr, puppet.hair);
  cairo_fill(cr);
  cairo_restore(cr);
  if (puppet.hairStyle == HairStyle::Pigtails && back) {
    hairBlob(headX - headRadius * 1.05, headY + 0.2 * headRadius, 0.4 * headRadius);
    hairBlob(headX + headRadius * 1.05, headY + 0.2 * headRadius, 0.4 * headRadius);
  }

  // The face, seen from the front or the side.
  if (!back) {
    const double spacing = headRadius * 0.36 * across;
    const double eyeX = headX + fx * headRadius * (lean > 0.5 ? 0.5 : 0.22 * lean + 0.12 * std::fabs(fx));
    const double eyeY = headY + headRadius * 0.05 - tilt;
    const int eyes = lean > 0.5 ? 1 : 2;
    for (int e = 0; e < eyes; ++e) {
      const double x = eyes == 1 ? eyeX : eyeX + (e ? spacing : -spacing);
      SetColor(cr, Hex(0x2B2B2B));
      if (pose.blink) {
        cairo_set_line_width(cr, 1.5);
        cairo_move_to(cr, x - 0.02 * h, eyeY);
        cairo_line_to(cr, x + 0.02 * h, eyeY);
        cairo_stroke(cr);
      } else {
        Ellipse(cr, x, eyeY, 0.016 * h, 0.022 * h);
        cairo_fill(cr);
        SetColor(cr, Hex(0xFFFFFF));
        Ellipse(cr, x + 0.005 * h, eyeY - 0.007 * h, 0.005 * h, 0.005 * h);
        cairo_fill(cr);
      }
      if (puppet.glasses) {
        SetColor(cr, Hex(0x5A3E2B));
        cairo_set_line_width(cr, 1.2);
        Ellipse(cr, x, eyeY, 0.032 * h, 0.028 * h);
        cairo_stroke(cr);
      }
    }
    // Cheeks, then the mouth: a smile when closed, an open oval while talking.
    SetColor(cr, Hex(0xFF8A80, 0.45));
    Ellipse(cr, eyeX + (eyes == 1 ? -fx * 0.25 * headRadius : -spacing * 1.25), eyeY + 0.35 * headRadius,
            0.12 * headRadius, 0.08 * headRadius);
    cairo_fill(cr);
    const double mouthX = eyeX - (eyes == 1 ? fx * 0.1 * headRadius : 0), mouthY = headY + headRadius * 0.55 - tilt;
    if (pose.mouth > 0.05) {
      SetColor(cr, Hex(0x8E2431));
      Ellipse(cr, mouthX, mouthY, headRadius * (0.18 - 0.06 * lean), headRadius * 0.22 * pose.mouth);
      cairo_fill(cr);
    } else {
      SetColor(cr, Hex(0x8E2431));
      cairo_set_line_width(cr, 1.6);
      cairo_arc_negative(cr, mouthX, mouthY - headRadius * 0.15, headRadius * (0.2 - 0.07 * lean), 2.6, 0.55);
      cairo_stroke(cr);
    }
    if (lean > 0.5) {  // a nose in profile
      SetColor(cr, puppet.skin);
      Ellipse(cr, headX + fx * headRadius * 0.95, headY + headRadius * 0.22 - tilt, headRadius * 0.14, headRadius * 0.12);
      Outline(cr, puppet.skin);
    }
  }
  leg(1, false);
  arm(1);
  cairo_restore(cr);
}

void DrawBird(cairo_t* cr, const BirdPose& pose, int direction, double feetX, double feetY) {
  const View view = ViewOf(direction);
  const double fx = view.side;
  const Rgb body = Hex(0x4FA3E0), belly = Hex(0xFFE082), wing = Hex(0x2F7CC0), beak = Hex(0xFF9800);
  const double cx = feetX, cy = feetY - 22 - pose.lift;
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_rotate(cr, pose.tilt);
  // Legs and feet at the point, tucked up in flight.
  SetColor(cr, beak);
  cairo_set_line_width(cr, 2);
  for (double k : {-1.0, 1.0}) {
    cairo_move_to(cr, k * 5, 10);
    cairo_line_to(cr, k * 5 + fx * 2, 20 + pose.lift * 0);
    cairo_stroke(cr);
  }
  auto wingShape = [&](double k, Rgb colour) {
    cairo_save(cr);
    const double spread = view.facing == 0 ? 0.4 : 1.0;
    cairo_translate(cr, k * 10 * spread - fx * 4, -4);
    cairo_scale(cr, k, 1);
    cairo_move_to(cr, 0, 0);
    cairo_curve_to(cr, 12 * spread, -20 * pose.wings - 4, 26 * spread, -26 * pose.wings, 30 * spread, -28 * pose.wings + 4);
    cairo_curve_to(cr, 20 * spread, -6 * pose.wings + 8, 8, 10, 0, 8);
    cairo_close_path(cr);
    cairo_restore(cr);
    Outline(cr, colour);
  };
  if (view.facing != 0) wingShape(-1, wing);
  SetColor(cr, body);
  Ellipse(cr, 0, 0, view.facing == 0 ? 20 : 17, 16);
  Outline(cr, body);
  if (view.facing >= 0) {
    SetColor(cr, belly);
    Ellipse(cr, fx * 5, 5, 10, 9);
    cairo_fill(cr);
  }
  // The tail behind the body, the head in front of it.
  const double headX = fx * 12, headY = -16;
  SetColor(cr, body);
  Ellipse(cr, headX, headY, 11, 11);
  Outline(cr, body);
  if (view.facing >= 0) {
    const int eyes = view.facing > 0 && view.profile < 0.6 ? 2 : 1;
    for (int e = 0; e < eyes; ++e) {
      const double x = eyes == 2 ? headX + (e ? 4 : -4) + fx * 2 : headX + fx * 5;
      SetColor(cr, Hex(0xFFFFFF));
      Ellipse(cr, x, headY - 2, 3.2, 3.2);
      cairo_fill(cr);
      SetColor(cr, Hex(0x202020));
      Ellipse(cr, x + fx, headY - 2, 1.8, 1.8);
      cairo_fill(cr);
    }
    // The beak, opening to chirp.
    const double bx = headX + fx * (view.profile > 0.6 ? 10 : 6), by = headY + 2;
    const double dir = fx != 0 ? fx : 1, length = view.profile > 0.6 ? 9 : 5;
    cairo_move_to(cr, bx, by - 3 - 2 * pose.beak);
    cairo_line_to(cr, bx + dir * length, by);
    cairo_line_to(cr, bx, by + 1);
    cairo_close_path(cr);
    Outline(cr, beak);
    if (pose.beak > 0) {
      cairo_move_to(cr, bx, by + 1);
      cairo_line_to(cr, bx + dir * length * 0.8, by + 1 + 2 * pose.beak);
      cairo_line_to(cr, bx, by + 4 + pose.beak);
      cairo_close_path(cr);
      Outline(cr, beak);
    }
  }
  wingShape(1, Shade(wing, 0.1));
  cairo_restore(cr);
}

}  // namespace contentgen
