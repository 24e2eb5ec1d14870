// The two crafts of the building boxes, step by step on the work table: a house made
// from a cardboard box (materials, door and windows, the roof) and a paper rocket (the
// body rolled from card, then fins and a nose cone). Each step starts where the one
// before it ended, and its tools are taken from the table, used and put back.
#include <algorithm>
#include <cmath>

#include "tools/contentgen/Craft.h"

namespace contentgen {

namespace {

constexpr double kPi = 3.14159265358979323846;
const Rgb kInk = Hex(0x3D2B1F);
const Rgb kCardboard = Hex(0xC68B59);
// The child sits in front of the table: an arm reaches up from below the frame, its
// shoulder a little to the outside of where the hand works.
Pt Shoulder(Pt hand, bool left) { return {hand.x + (left ? -100 : 100), 390}; }
void HandAt(cairo_t* cr, Pt at, bool left) { Hand(cr, Shoulder(at, left), at); }

// Where a material lies on the table when no hand holds it.
struct Rest {
  Item item;
  Pt at;
  double size, angle;
};
constexpr Rest kPaper{Item::Paper, {62, 210}, 68, -0.12};
constexpr Rest kRuler{Item::Ruler, {68, 248}, 96, 0.05};
constexpr Rest kGlue{Item::Glue, {362, 204}, 64, 0.1};
constexpr Rest kPencil{Item::Pencil, {368, 248}, 84, -0.1};
constexpr Rest kScissors{Item::Scissors, {406, 212}, 60, 0.25};

void Lay(cairo_t* cr, const Rest& rest) { PlaceItem(cr, rest.item, rest.at, rest.size, rest.angle); }

// A tool that a hand takes from its place on the table over [from, to] of the step: it
// travels to `work` (where its tip is needed now), works there and goes back.
void UseTool(cairo_t* cr, const Rest& rest, double p, double from, double to, Pt work, double angle, double open = 1) {
  if (p <= from || p >= to) {
    Lay(cr, rest);
    return;
  }
  const double span = std::min(0.07, (to - from) / 3);
  const double there = Stage(p, from, from + span) * (1 - Stage(p, to - span, to));
  const Pt tip = Mix(rest.at, work, there);
  HeldTool(cr, rest.item, tip, rest.angle + (angle - rest.angle) * there, rest.size,
           Shoulder(tip, rest.at.x < kFrameWidth / 2), open);
}

// Scissors snipping: open and shut a few times a second.
double Snip(double t) { return 0.5 + 0.5 * std::cos(t * 14); }

// ---- The cardboard house ----------------------------------------------------------------

// The box's front face, its depth (drawn up and to the right) and the openings cut in it.
constexpr double kBoxLeft = 156, kBoxRight = 266, kBoxTop = 140, kBoxBottom = 232;
constexpr Pt kDepth{30, -16};
const std::vector<Pt> kWindowLeft = {{168, 152}, {196, 152}, {196, 178}, {168, 178}};
const std::vector<Pt> kWindowRight = {{226, 152}, {254, 152}, {254, 178}, {226, 178}};
const std::vector<Pt> kDoor = {{197, 232}, {197, 188}, {225, 188}, {225, 232}};
const std::vector<Pt>* const kOpenings[3] = {&kWindowLeft, &kWindowRight, &kDoor};

// The house as far as it has got: `flaps` how far the top flaps stand up (1 up, 0 folded
// in), `drawn` and `cut` how many of the three openings are drawn and cut (fractions
// are the part of the next one).
void HouseBox(cairo_t* cr, Pt offset, double flaps, double drawn, double cut) {
  cairo_save(cr);
  cairo_translate(cr, offset.x, offset.y);
  const Pt frontLeft{kBoxLeft, kBoxTop}, frontRight{kBoxRight, kBoxTop};
  const Pt backLeft{kBoxLeft + kDepth.x, kBoxTop + kDepth.y}, backRight{kBoxRight + kDepth.x, kBoxTop + kDepth.y};
  // The opening at the top, dark inside.
  Polygon(cr, {frontLeft, frontRight, backRight, backLeft});
  FillAndOutline(cr, Hex(0x5E3B1E), kInk);
  if (flaps > 0) {
    const double up = 30 * flaps;
    Polygon(cr, {backLeft, backRight, {backRight.x + 4, backRight.y - up}, {backLeft.x + 4, backLeft.y - up}});
    FillAndOutline(cr, Hex(0xDDA15E), kInk);
    Polygon(cr, {frontLeft, backLeft, {backLeft.x - 24 * flaps, backLeft.y - up * 0.7},
                 {frontLeft.x - 24 * flaps, frontLeft.y - up * 0.7}});
    FillAndOutline(cr, Hex(0xE3B07A), kInk);
    Polygon(cr, {frontRight, backRight, {backRight.x + 24 * flaps, backRight.y - up * 0.7},
                 {frontRight.x + 24 * flaps, frontRight.y - up * 0.7}});
    FillAndOutline(cr, Hex(0xD4975F), kInk);
  }
  // The side, in shade, and the front with the card's ribs showing faintly.
  Polygon(cr, {frontRight, backRight, {backRight.x, kBoxBottom + kDepth.y}, {kBoxRight, kBoxBottom}});
  FillAndOutline(cr, Shade(kCardboard, -0.22), kInk);
  cairo_rectangle(cr, kBoxLeft, kBoxTop, kBoxRight - kBoxLeft, kBoxBottom - kBoxTop);
  FillAndOutline(cr, kCardboard, kInk);
  cairo_set_line_width(cr, 1);
  for (double x = kBoxLeft + 9; x < kBoxRight; x += 9) {
    cairo_move_to(cr, x, kBoxTop + 2);
    cairo_line_to(cr, x, kBoxBottom - 2);
  }
  SetColor(cr, Hex(0xB07A4A, 0.5));
  cairo_stroke(cr);
  for (int i = 0; i < 3; ++i) {
    const std::vector<Pt>& hole = *kOpenings[i];
    const double done = std::clamp(cut - i, 0.0, 1.0);
    if (done >= 1) {
      // Cut out and opened: the hole shows the dark inside; windows open as two
      // shutters, the door swings out on its left edge.
      Polygon(cr, hole);
      SetColor(cr, Hex(0x3B2412));
      cairo_fill(cr);
      const double top = hole[0].y < hole[1].y ? hole[0].y : std::min(hole[1].y, hole[2].y);
      const double bottom = std::max({hole[0].y, hole[1].y, hole[2].y, hole[3].y});
      const double left = std::min(hole[0].x, hole[2].x), right = std::max(hole[0].x, hole[2].x);
      if (i < 2) {
        const double half = (right - left) / 2;
        Polygon(cr, {{left, top}, {left - half * 0.7, top - 4}, {left - half * 0.7, bottom + 4}, {left, bottom}});
        FillAndOutline(cr, Hex(0xE3B07A), kInk);
        Polygon(cr, {{right, top}, {right + half * 0.7, top - 4}, {right + half * 0.7, bottom + 4}, {right, bottom}});
        FillAndOutline(cr, Hex(0xE3B07A), kInk);
      } else {
        Polygon(cr, {{left, top}, {left - 16, top - 6}, {left - 16, bottom + 6}, {left, bottom}});
        FillAndOutline(cr, Hex(0xE3B07A), kInk);
        cairo_arc(cr, left - 11, (top + bottom) / 2 + 2, 2.2, 0, 2 * kPi);
        SetColor(cr, kInk);
        cairo_fill(cr);
      }
    } else {
      PencilLine(cr, hole, std::clamp(drawn - i, 0.0, 1.0));
      CutLine(cr, hole, done);
    }
  }
  cairo_restore(cr);
}

// A sheet of card folded along its middle by `fold` (0 flat .. 1 a roof's slope), its
// front edge's middle at (x, baseY) and the sheet running back along the depth.
constexpr double kRoofHalf = 76, kRoofSlope = 0.62;  // radians at full fold
void FoldedCard(cairo_t* cr, double x, double baseY, double fold) {
  const double angle = kRoofSlope * fold;
  const double reach = kRoofHalf * std::cos(angle), rise = kRoofHalf * std::sin(angle);
  const Pt left{x - reach, baseY}, ridge{x, baseY - rise}, right{x + reach, baseY};
  auto back = [](Pt p) { return Pt{p.x + kDepth.x, p.y + kDepth.y}; };
  Polygon(cr, {left, ridge, back(ridge), back(left)});
  FillAndOutline(cr, Hex(0xB5121B), kInk);
  Polygon(cr, {ridge, right, back(right), back(ridge)});
  FillAndOutline(cr, Hex(0xE5383B), kInk);
  if (fold > 0.05) {
    Polygon(cr, {left, ridge, right});
    FillAndOutline(cr, Hex(0x6A040F), kInk);
  }
  // The fold line, pressed in with a fingernail.
  cairo_move_to(cr, ridge.x, ridge.y);
  cairo_line_to(cr, back(ridge).x, back(ridge).y);
  cairo_set_line_width(cr, 1.5);
  SetColor(cr, Hex(0xFFFFFF, 0.5));
  cairo_stroke(cr);
}
Pt FoldedRidge(double x, double baseY, double fold) { return {x, baseY - kRoofHalf * std::sin(kRoofSlope * fold)}; }

void HouseStep(cairo_t* cr, int step, double t, double p) {
  const Pt centre{(kBoxLeft + kBoxRight) / 2, (kBoxTop + kBoxBottom) / 2};
  if (step == 1) {
    // A hand brings each material to its place on the table: the box first, in the
    // middle of the mat, then the paper, the ruler, the glue, the pencil and the scissors.
    const Rest* rests[5] = {&kPaper, &kRuler, &kGlue, &kPencil, &kScissors};
    for (int i = 0; i < 6; ++i) {
      const double from = 0.02 + i * 0.15, u = Linear(p, from, from + 0.15);
      if (u <= 0) continue;
      const Pt target = i == 0 ? centre : rests[i - 1]->at;
      const bool left = target.x < kFrameWidth / 2;
      const Pt start{left ? -130.0 : kFrameWidth + 60, target.y - 30};
      const Pt at = Mix(start, target, Stage(u, 0, 0.55));
      if (i == 0) HouseBox(cr, {at.x - target.x, at.y - target.y}, 1, 0, 0);
      else PlaceItem(cr, rests[i - 1]->item, at, rests[i - 1]->size, rests[i - 1]->angle);
      const Pt grip{at.x + (i == 0 ? -40 : 0), at.y + (i == 0 ? 20 : 0)};
      if (u < 1) HandAt(cr, u < 0.55 ? grip : Mix(grip, {grip.x + (left ? -60 : 60), 360}, Stage(u, 0.55, 1)), left);
    }
    return;
  }
  Lay(cr, kRuler);
  if (step == 2) {
    // The pencil draws the two windows and the door; the scissors cut them out.
    Lay(cr, kPaper);
    Lay(cr, kGlue);
    const double drawn = 3 * Linear(p, 0.06, 0.44), cut = 3 * Linear(p, 0.52, 0.9);
    HouseBox(cr, {}, 1, drawn, cut);
    const int drawing = std::min(2, int(drawn)), cutting = std::min(2, int(cut));
    UseTool(cr, kPencil, p, 0.0, 0.48, AlongOutline(*kOpenings[drawing], drawn - drawing), 2.3);
    UseTool(cr, kScissors, p, 0.46, 0.95, AlongOutline(*kOpenings[cutting], cut - cutting), -0.35,
            p < 0.9 ? Snip(t) : 1);
    return;
  }
  // The roof: the flaps fold in, a red card is folded in half in front of the house,
  // glue goes along the box's top edges and the card is set on them.
  Lay(cr, kPaper);
  const double flaps = 1 - Stage(p, 0.0, 0.1);
  const double fold = Stage(p, 0.14, 0.36), lift = Stage(p, 0.68, 0.9);
  HouseBox(cr, {}, flaps, 3, 3);
  const Pt leftEdge[2] = {{kBoxLeft, kBoxTop}, {kBoxLeft + kDepth.x, kBoxTop + kDepth.y}};
  const Pt rightEdge[2] = {{kBoxRight, kBoxTop}, {kBoxRight + kDepth.x, kBoxTop + kDepth.y}};
  GlueBead(cr, leftEdge[0], leftEdge[1], Linear(p, 0.45, 0.53));
  GlueBead(cr, rightEdge[0], rightEdge[1], Linear(p, 0.55, 0.63));
  const Pt onTable{centre.x, 250}, onHouse{centre.x, kBoxTop + 2};
  const double arrive = Stage(p, 0.02, 0.12);
  Pt card = Mix({centre.x, 380}, onTable, arrive);
  if (lift > 0) {
    // Up over the house first, then down onto it.
    const Pt above{onHouse.x, onHouse.y - 40};
    card = lift < 0.6 ? Mix(onTable, above, Stage(lift, 0, 0.6)) : Mix(above, onHouse, Stage(lift, 0.6, 1));
  }
  FoldedCard(cr, card.x, card.y, fold);
  if (p < 0.12 || (p > 0.14 && p < 0.37) || (p > 0.66 && p < 0.92))
    HandAt(cr, FoldedRidge(card.x, card.y, fold), true);
  const Pt glueWork = p < 0.54 ? Mix(leftEdge[0], leftEdge[1], Linear(p, 0.45, 0.53))
                               : Mix(rightEdge[0], rightEdge[1], Linear(p, 0.55, 0.63));
  UseTool(cr, kGlue, p, 0.38, 0.68, glueWork, 2.75);
  Lay(cr, kPencil);
  Lay(cr, kScissors);
  if (p > 0.92) Sparkles(cr, {{128, 96}, {300, 70}, {150, 190}, {306, 174}}, t);
}

// ---- The paper rocket --------------------------------------------------------------------

constexpr double kRocketX = 216, kTubeTop = 92, kTubeBottom = 238, kTubeRadius = 30;

// The card for the rocket's body: grey-white with a red band and a round window drawn on,
// `curl` 0 held flat .. 1 rolled into a tube, its seam glued down along `glued`.
void Tube(cairo_t* cr, double curl, double glued) {
  const double half = 66 - (66 - kTubeRadius) * curl, lip = 9 * curl;
  const Rgb card = Hex(0xE9ECEF);
  cairo_pattern_t* shade = cairo_pattern_create_linear(kRocketX - half, 0, kRocketX + half, 0);
  const Rgb edge = Shade(card, -0.3 * curl), light = Shade(card, 0.5 * curl);
  cairo_pattern_add_color_stop_rgb(shade, 0, edge.r, edge.g, edge.b);
  cairo_pattern_add_color_stop_rgb(shade, 0.35, light.r, light.g, light.b);
  cairo_pattern_add_color_stop_rgb(shade, 1, edge.r, edge.g, edge.b);
  // The open top, seen from a little above, once the card curls.
  if (curl > 0.2) {
    cairo_save(cr);
    cairo_translate(cr, kRocketX, kTubeTop);
    cairo_scale(cr, half, std::max(1.0, lip));
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
    FillAndOutline(cr, Hex(0x8D99AE), kInk);
  }
  cairo_move_to(cr, kRocketX - half, kTubeTop);
  cairo_save(cr);
  cairo_translate(cr, kRocketX, kTubeTop);
  cairo_scale(cr, half, std::max(0.01, lip));
  cairo_arc_negative(cr, 0, 0, 1, kPi, 0);
  cairo_restore(cr);
  cairo_line_to(cr, kRocketX + half, kTubeBottom);
  cairo_save(cr);
  cairo_translate(cr, kRocketX, kTubeBottom);
  cairo_scale(cr, half, std::max(0.01, lip));
  cairo_arc(cr, 0, 0, 1, 0, kPi);
  cairo_restore(cr);
  cairo_close_path(cr);
  cairo_set_source(cr, shade);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(shade);
  cairo_set_line_width(cr, 2);
  SetColor(cr, kInk);
  cairo_stroke(cr);
  // The red band and the window, narrowing as the card rolls.
  const double squeeze = half / 66;
  cairo_rectangle(cr, kRocketX - half + 1, 196, 2 * half - 2, 12);
  SetColor(cr, Hex(0xE63946));
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, kRocketX, 140);
  cairo_scale(cr, std::max(0.55, squeeze), 1);
  cairo_arc(cr, 0, 0, 16, 0, 2 * kPi);
  cairo_restore(cr);
  FillAndOutline(cr, Hex(0x4CC9F0), Hex(0x6C757D), 4);
  // The seam where the card's edge overlaps once it is rolled.
  if (curl >= 1) {
    const double seam = kRocketX + kTubeRadius * 0.62;
    cairo_move_to(cr, seam, kTubeTop + 6);
    cairo_line_to(cr, seam, kTubeBottom + 6);
    cairo_set_line_width(cr, 1.5);
    SetColor(cr, Hex(0x6C757D));
    cairo_stroke(cr);
    GlueBead(cr, {seam + 3, kTubeTop + 8}, {seam + 3, kTubeBottom + 2}, glued);
  }
}
Pt SeamPoint(double k) { return {kRocketX + kTubeRadius * 0.62 + 3, kTubeTop + 8 + (kTubeBottom - kTubeTop - 6) * k}; }

// The red sheet the fins and the cone are cut from, lying on the left of the table, and
// the pieces: each an outline on the sheet that turns, point for point, into its place
// on the rocket.
const std::vector<Pt> kRedSheet = {{16, 182}, {136, 182}, {144, 238}, {8, 238}};
struct Piece {
  std::vector<Pt> onSheet, onRocket;
  bool behind;  // drawn before the tube
};
const Piece kPieces[4] = {
    {{{24, 190}, {24, 230}, {52, 230}}, {{186, 186}, {186, 236}, {156, 250}}, true},
    {{{58, 190}, {58, 230}, {86, 230}}, {{246, 186}, {246, 236}, {276, 250}}, true},
    {{{92, 190}, {92, 230}, {110, 230}}, {{216, 192}, {223, 250}, {209, 250}}, false},
    {{{112, 218}, {116, 206}, {126, 200}, {136, 206}, {140, 218}, {130, 218}, {122, 218}},
     {{184, 92}, {200, 64}, {216, 38}, {232, 64}, {248, 92}, {230, 98}, {202, 98}},
     false},
};

Pt Centre(const std::vector<Pt>& points) {
  Pt sum;
  for (const Pt& p : points) sum = {sum.x + p.x, sum.y + p.y};
  return {sum.x / double(points.size()), sum.y / double(points.size())};
}

std::vector<Pt> PieceAt(const Piece& piece, double placed) {
  std::vector<Pt> out(piece.onSheet.size());
  for (size_t i = 0; i < out.size(); ++i) out[i] = Mix(piece.onSheet[i], piece.onRocket[i], placed);
  return out;
}

void RocketStep(cairo_t* cr, int step, double t, double p) {
  Lay(cr, kRuler);
  if (step == 1) {
    // Two hands curl the card round into a tube; glue runs down the seam and a
    // finger presses it shut.
    Lay(cr, kPaper);
    Lay(cr, kScissors);
    const double curl = Stage(p, 0.12, 0.55), glued = Linear(p, 0.6, 0.82);
    Tube(cr, curl, glued);
    const double half = 66 - (66 - kTubeRadius) * curl;
    if (p < 0.6) {
      const double in = Stage(p, 0.0, 0.1);
      HandAt(cr, Mix({60, 330}, {kRocketX - half - 4, 176}, in), true);
      HandAt(cr, Mix({372, 330}, {kRocketX + half + 4, 176}, in), false);
    } else {
      HandAt(cr, Mix({kRocketX - half - 4, 176}, {60, 330}, Stage(p, 0.9, 1)), true);
    }
    UseTool(cr, kGlue, p, 0.56, 0.86, SeamPoint(glued), 2.8);
    if (p > 0.84 && p < 0.97) HandAt(cr, SeamPoint(Linear(p, 0.85, 0.95)), false);
    Lay(cr, kPencil);
    return;
  }
  // The pieces are cut from the red sheet, glue goes where each one sits, and a hand
  // carries each one to the rocket.
  Lay(cr, kPencil);
  Polygon(cr, kRedSheet);
  FillAndOutline(cr, Hex(0xE5383B), kInk);
  const double cut = 4 * Linear(p, 0.04, 0.4);
  const Pt glueSpots[4] = {{188, 212}, {244, 212}, {216, 228}, {216, 94}};
  const double glue = 4 * Linear(p, 0.42, 0.58);
  for (int i = 0; i < 4; ++i) {
    const double dab = std::clamp(glue - i, 0.0, 1.0);
    if (dab > 0) {
      cairo_arc(cr, glueSpots[i].x, glueSpots[i].y, 4 * dab, 0, 2 * kPi);
      SetColor(cr, Hex(0xF8F9FA));
      cairo_fill(cr);
    }
  }
  double placed[4];
  for (int i = 0; i < 4; ++i) placed[i] = Stage(p, 0.6 + i * 0.08, 0.66 + i * 0.08);
  auto drawPiece = [&](int i) {
    const Piece& piece = kPieces[i];
    const double done = std::clamp(cut - i, 0.0, 1.0);
    if (done < 1) {
      PencilLine(cr, piece.onSheet, 1);
      CutLine(cr, piece.onSheet, done);
      return;
    }
    std::vector<Pt> at = PieceAt(piece, placed[i]);
    if (placed[i] > 0) {
      // The hole it leaves in the sheet.
      Polygon(cr, piece.onSheet);
      SetColor(cr, Hex(0xCF9660));
      cairo_fill(cr);
    } else {
      // Cut free, it lies a little raised on the sheet.
      Polygon(cr, piece.onSheet);
      SetColor(cr, Hex(0x9D0208));
      cairo_fill(cr);
      for (Pt& point : at) point = {point.x - 1.5, point.y - 2.5};
    }
    Polygon(cr, at);
    FillAndOutline(cr, i == 2 ? Hex(0xC1121F) : Hex(0xE63946), kInk);
  };
  for (int i = 0; i < 4; ++i)
    if (kPieces[i].behind || placed[i] <= 0) drawPiece(i);
  Tube(cr, 1, 1);
  for (int i = 0; i < 4; ++i)
    if (!kPieces[i].behind && placed[i] > 0) drawPiece(i);
  for (int i = 0; i < 4; ++i)
    if (placed[i] > 0 && placed[i] < 1) HandAt(cr, Centre(PieceAt(kPieces[i], placed[i])), true);
  const int cutting = std::min(3, int(cut));
  UseTool(cr, kScissors, p, 0.0, 0.42, AlongOutline(kPieces[cutting].onSheet, cut - cutting), -0.2,
          p < 0.4 ? Snip(t) : 1);
  const int dabbing = std::min(3, int(glue));
  UseTool(cr, kGlue, p, 0.38, 0.62, glueSpots[dabbing], 2.8);
  if (p > 0.92) Sparkles(cr, {{150, 80}, {290, 110}, {130, 170}, {300, 200}}, t);
}

}  // namespace

void CraftStepFrame(cairo_t* cr, int box, int step, double t, double seconds, const std::string& caption) {
  CraftRoom(cr);
  // The work fills the time the voice takes; the last second and a half shows the result.
  const double p = std::clamp(t / std::max(1.0, seconds - 1.5), 0.0, 1.0);
  if (box == 1) HouseStep(cr, step, t, p);
  else RocketStep(cr, step, t, p);
  RoundRect(cr, 8, 262, 416, 52, 12);
  SetColor(cr, Hex(0xFFFFFF, 0.85));
  cairo_fill(cr);
  Text(cr, caption, 216, 296, 22, Hex(0x6A040F), Align::Center);
}

}  // namespace contentgen
