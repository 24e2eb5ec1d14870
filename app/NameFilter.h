// The characters a file name typed by the child may hold: digits, the Spanish letters
// in both cases and the hyphen (Windows-1252 bytes, compared unsigned), plus the space,
// which may be typed anywhere. Shared by the movie-name and recording-name edits.
#pragma once

#include "foundation/SLTypes.h"

class CSLStringAnsi;

// True when a typed character goes on to the edit: control codes and the space always,
// codes above 32 only when they are in the list.
bool AppNameFilter_AllowsTypedChar(u32 character);
// True when the byte may stay in a name (the list or a space).
bool AppNameFilter_AllowsByte(u8 byte);
// Removes in place every byte that may not stay; the new length.
u32 AppNameFilter_Clean(char* text);
// The same on a window's text string.
void AppNameFilter_CleanString(CSLStringAnsi* text);
