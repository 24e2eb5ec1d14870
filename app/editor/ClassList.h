// The class lists of the catalogue's descriptions: which object classes a support point
// accepts, which character classes may use it (with a direction mask after each), which
// classes an action reference aims at.
#pragma once

#include "foundation/SLTypes.h"

// The 1-based position of the first token of a comma-separated class list that matches
// `name`, reading the tokens at 1, 1 + step, ...; "TODOS"/"TODAS" match anything and
// "-name" excludes the name (0 at once). With step 2 and `value`, the token after the match
// is read as an unsigned decimal number.
u32 ClassList_Match(const char* list, const char* name, u32 step, u32* value = nullptr);
