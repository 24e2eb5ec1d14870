// The built-in default skin: a deflate ZIP archive ("defskin.gif", "layout.inf" and two
// bitmap fonts) that tools/defskin writes at build time and the build compiles in.
#pragma once

#include "foundation/SLTypes.h"

extern const u8 kSLGuiDefaultSkin[];
extern const u32 kSLGuiDefaultSkinSize;
