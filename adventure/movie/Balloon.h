// Speech balloons: the framed box in which a text of the movie is shown. A balloon wraps
// its 8-bit (Windows-1252) text with a bitmap font into lines no wider than its width
// less 50 pixels, computes its outer size from them, and draws itself from pieces of one
// balloon picture with the text on top in black.
//
// Styles: 1-8 speech balloons (tail below at the right, 1-2; below at the left, 3-4;
// above at the right, 5-6; above at the left, 7-8), 9-16 the same from the second set of
// pictures, 17-18 a box without tail, 19-20 a plain box. Odd and even styles of a pair
// differ only in the picture column they are cut from.
#pragma once

#include "foundation/SLArray.h"
#include "foundation/SLTypes.h"

struct SL_GS_Font;
struct SL_GS_Image;

struct Balloon {
  u32 width;            // wrapping width in pixels (400 on construction)
  SL_GS_Font* font;     // no text is laid out without one
  u32 style;            // 1-20
  char* text;           // owned copy on the framework heap, null when empty
  TSLArray<u32> lines;  // for each line the offset in `text` where it ends
  i32 boxWidth, boxHeight;
};

void Balloon_Construct(Balloon* balloon);
void Balloon_Destroy(Balloon* balloon);
// 1-20 kept, anything else becomes 1. Does not re-lay out.
void Balloon_SetStyle(Balloon* balloon, u32 style);
// Keeps a copy of a non-empty text (null otherwise). Out of memory ends the program
// (-1601). Does not re-lay out.
void Balloon_SetText(Balloon* balloon, const char* text);
// Recomputes the lines and the box. Out of memory ends the program (-1611).
void Balloon_Layout(Balloon* balloon);
// The point of the box placed on the speaker.
i32 Balloon_TailX(const Balloon* balloon);
i32 Balloon_TailY(const Balloon* balloon);
// Draws the box with its top-left at the screen point; opacity in percent.
void Balloon_Draw(const Balloon* balloon, i32 x, i32 y, double opacity);
// One piece of the balloon picture, stretched to the destination when sizes differ.
void Balloon_BlitPiece(i32 x, i32 y, i32 width, i32 height, i32 sourceX, i32 sourceY, i32 sourceWidth,
                       i32 sourceHeight, double opacity);

// The balloon picture ("Interface/Recuadro Texto/recuadro.mximg") that the editor loads
// and hands in; without it balloons draw only their text.
void Balloon_SetPicture(SL_GS_Image* picture);
SL_GS_Image* Balloon_GetPicture();
