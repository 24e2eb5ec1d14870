#include "app/NameFilter.h"

#include "foundation/SLError.h"
#include "foundation/SLString.h"

namespace {

// Windows-1252: ñ F1, á E1, é E9, í ED, ó F3, ú FA, ü FC, Ñ D1, Á C1, É C9, Í CD, Ó D3,
// Ú DA, Ü DC.
constexpr char kAllowed[] =
    "0123456789abcdefghijklmn\xf1opqrstuvwxyz\xe1\xe9\xed\xf3\xfa\xfc"
    "ABCDEFGHIJKLMN\xd1OPQRSTUVWXYZ\xc1\xc9\xcd\xd3\xda\xdc-";

struct AllowedTable {
  bool byte[256] = {};
  constexpr AllowedTable() {
    for (u32 i = 0; i + 1 < sizeof kAllowed; ++i) byte[u8(kAllowed[i])] = true;
  }
};
constexpr AllowedTable kTable;

}  // namespace

bool AppNameFilter_AllowsByte(u8 byte) { return byte == ' ' || kTable.byte[byte]; }

bool AppNameFilter_AllowsTypedChar(u32 character) {
  if (character <= 32) return true;
  return character < 256 && kTable.byte[character];
}

u32 AppNameFilter_Clean(char* text) {
  if (!text) return 0;
  u32 kept = 0;
  for (const char* at = text; *at; ++at)
    if (AppNameFilter_AllowsByte(u8(*at))) text[kept++] = *at;
  text[kept] = 0;
  return kept;
}

void AppNameFilter_CleanString(CSLStringAnsi* text) {
  if (!text) return;
  SLErrorKeeper keep;
  char* buffer = text->GetBufferTerminated();
  if (!buffer) return;
  text->Truncate(AppNameFilter_Clean(buffer));
}
