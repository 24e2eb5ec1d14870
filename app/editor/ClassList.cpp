#include "app/editor/ClassList.h"

#include "foundation/SLError.h"
#include "foundation/SLStr.h"
#include "foundation/SLString.h"

namespace {

bool IsAnyName(const char* token) { return SLStrICmpA(token, "TODOS") == 0 || SLStrICmpA(token, "TODAS") == 0; }

}  // namespace

u32 ClassList_Match(const char* list, const char* name, u32 step, u32* value) {
  if (value) *value = 0;
  if (!list || !name) return SLFail(SL_E_NULL_DATA, 0u);
  if (step == 0) step = 1;
  static const char kSeparators[] = ",", kQuotes[] = "\"'", kBlanks[] = " \t";
  char token[1024];
  u32 found = 0;
  // Every token is read, not only those up to the first match: an exclusion later in the
  // list ("TODOS, -Silla") still refuses the name.
  for (u64 position = 1; position <= 0xFFFFFFFFu; position += step) {
    SLGetTokenA(token, sizeof token, list, u32(position), kSeparators, kQuotes, kBlanks, true);
    if (!token[0]) break;
    if (token[0] == '-') {
      if (SLStrICmpA(token + 1, name) == 0) return SLSucceed(0u);
      continue;
    }
    if (!found && (IsAnyName(token) || SLStrICmpA(token, name) == 0)) found = u32(position);
  }
  if (found && step == 2 && value && found < 0xFFFFFFFFu) {
    char number[256];
    SLGetTokenA(number, sizeof number, list, found + 1, kSeparators, kQuotes, kBlanks, true);
    *value = SLStrToUIntA(number, u32(SLStrLenA(number)), 10, nullptr);
  }
  return SLSucceed(found);
}
