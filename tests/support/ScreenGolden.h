// Screen crops against golden pictures checked in as PNG files under tests/. A crop
// matches when every channel is within 2 but for at most 0.2 % of its pixels, so that a
// change of rounding passes and a misplaced or recoloured glyph does not. With the
// environment's SL_WRITE_GOLDEN set the golden is first remade from the crop.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "image/SLImage.h"

// The width x height pixels at (x, y) of a captured screen (B, G, R, unused) as R, G, B, A
// bytes, alpha opaque.
std::string SLTestScreenCrop(const CSLImage& screen, i32 x, i32 y, i32 width, i32 height);

// `crop` (R, G, B, A rows of width x height) against the golden PNG at `golden`.
::testing::AssertionResult SLTestMatchesGolden(const std::string& crop, i32 width, i32 height,
                                               const std::string& golden);
