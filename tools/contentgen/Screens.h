// The full-screen pictures of the interface (see Screens.cpp).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tools/contentgen/Drawing.h"

namespace contentgen {

// 800 x 600 backgrounds. Their decorations keep off their letters, and the letters keep
// 16 px from the edges.
Canvas WelcomeScreen();
Canvas StartMenuScreen();
Canvas LoadingScreen();
Canvas AdvertScreen();
Canvas CreditsScreen();
Canvas WorkshopScreen();
// The cinema hall around its 664 x 372 viewport at (68, 78).
Canvas CinemaHall();
// The audience, 800 wide: `cheer` 0 calm, 1 and 2 the two applause poses.
Canvas Audience(int height, int cheer);
// Frame `frame` (1..34) of the growing flower, 304 x 256, near white.
Canvas FlowerFrame(int frame);
// The piece (x, y, w, h) of the editor's frame, and an 8 x 8 inner corner of the stage
// whose curve has its centre at (cx, cy) in the piece.
Canvas FramePiece(int x, int y, int w, int h);
Canvas InnerCorner(int x, int y, double cx, double cy);

// Each screen's name (its folder under Interface/) and the boxes of its letters and
// decorations as drawn, for contentgen --layout.
std::vector<std::pair<std::string, std::vector<LayoutBox>>> ScreenLayouts();
// The cinema opening's frame at `t` seconds, and for each of its frames the caption's box
// and the gap between the curtains ("apertura").
void CinemaIntroFrame(cairo_t* cr, double t);
std::vector<std::pair<std::string, std::vector<LayoutBox>>> CinemaIntroLayouts();

}  // namespace contentgen
