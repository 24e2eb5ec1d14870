// The building boxes' craft videos: a child's work table where a paper craft is made step
// by step. CraftStepFrame draws one frame; the pieces under it (the room, the materials,
// a hand holding a tool, paths drawn and cut a little at a time) live in CraftKit.cpp.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

#include "tools/contentgen/Drawing.h"

namespace contentgen {

// A frame of step `step` of building box `box` (1: a cardboard house, 2: a paper rocket),
// `t` seconds into a video `seconds` long, with the step's caption along the bottom.
void CraftStepFrame(cairo_t* cr, int box, int step, double t, double seconds, const std::string& caption);

// The frame is 432 x 324: a wall down to kTableTop, the table under it, the caption over
// the table's front.
inline constexpr double kFrameWidth = 432, kFrameHeight = 324, kTableTop = 176;

struct Pt {
  double x = 0, y = 0;
};
inline Pt Mix(Pt a, Pt b, double k) { return {a.x + (b.x - a.x) * k, a.y + (b.y - a.y) * k}; }

// Smooth 0..1 over [from, to] of `p`, and the plain linear one.
double Stage(double p, double from, double to);
double Linear(double p, double from, double to);

// A closed path through the points; a path filled, then outlined `width` wide.
void Polygon(cairo_t* cr, const std::vector<Pt>& points);
void FillAndOutline(cairo_t* cr, Rgb fill, Rgb outline, double width = 2);

// The craft room: a striped wall with paper bunting, a cork board with a child's drawing,
// a window, a shelf of paint and pencils, and the wooden table with a green cutting mat.
void CraftRoom(cairo_t* cr);

// The materials and tools, each drawn in its own frame at a size of about 100 units:
// a fan of coloured paper sheets, round-tipped
// scissors (blades `open` 0 shut .. 1 wide), a glue bottle, a pencil (tip at +x), a ruler.
enum class Item { Paper, Scissors, Glue, Pencil, Ruler };
// The item about `size` pixels across, centred at `at`, turned by `angle`.
void PlaceItem(cairo_t* cr, Item item, Pt at, double size, double angle = 0, double open = 1);
// The item held by a child's hand that reaches in from `shoulder` (off the frame): its
// working end (the pencil's point, the scissors' blades, the glue's nozzle) at `tip`.
void HeldTool(cairo_t* cr, Item item, Pt tip, double angle, double size, Pt shoulder, double open = 1);
// A hand alone, reaching from `shoulder` to `at` (pinching or pressing there).
void Hand(cairo_t* cr, Pt shoulder, Pt at);

// A closed outline and the point `k` (0..1) of the way round it.
Pt AlongOutline(const std::vector<Pt>& outline, double k);
// The first `k` of the outline as an open path.
void PartOfOutline(cairo_t* cr, const std::vector<Pt>& outline, double k);
// A pencil line (thin, grey) or a cut (dark) along the first `k` of the outline.
void PencilLine(cairo_t* cr, const std::vector<Pt>& outline, double k);
void CutLine(cairo_t* cr, const std::vector<Pt>& outline, double k);
// A bead of white glue along the first `k` of the open line from a to b.
void GlueBead(cairo_t* cr, Pt a, Pt b, double k);
// Sparkles around a finished model, twinkling with `t`.
void Sparkles(cairo_t* cr, const std::vector<Pt>& where, double t);

}  // namespace contentgen
