// Typed text on its way into the movie: the dialogue of an action (the text dialog's
// answer to a placement) and a text added to a character, an object or the scene. The
// first byte decides how the dialogue is asked for; the rest is the text, cut at its
// first NUL as the dialog hands it over. The dialogue kept must be a suffix of the text
// that starts at the blanks right before its first byte above 32, and be empty exactly
// when no such byte is there; a text to add keeps the suffix from that byte on.
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "adventure/catalog/CharacterCatalog.h"
#include "app/editor/EditorAction.h"
#include "app/editor/EditorCallbacks.h"
#include "app/editor/EditorState.h"
#include "fuzz/FuzzProgram.h"

namespace {
CharacterAction& Action() {
  static CharacterAction* action = [] {
    auto* created = static_cast<CharacterAction*>(::operator new(sizeof(CharacterAction)));
    CharacterAction_Construct(created);
    created->exitFlag = 1;
    return created;
  }();
  return *action;
}

// Where the kept dialogue should start, -1 when nothing is kept.
long ExpectedDialogueStart(const unsigned char* text, size_t length) {
  size_t first = 0;
  while (first < length && text[first] <= 32) ++first;
  if (first == length) return -1;
  size_t start = first;
  while (start > 0 && text[start - 1] == ' ') --start;
  return long(start);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  SLFuzzProgram program{data, size};
  const unsigned mode = program.Take();
  const std::string text(reinterpret_cast<const char*>(data + program.at), size - program.at);
  const char* typed = text.c_str();
  const size_t length = std::strlen(typed);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(typed);

  // Only the written-dialogue command with a text-only action goes straight to preparing,
  // which finds no selected character and stops: nothing but the text is touched.
  ActionPlacementState& placement = Editor_State().placement;
  CharacterAction& action = Action();
  action.dialogue = 2;
  placement.action = &action;
  placement.pendingCommand = kPlaceWrittenDialogue;
  placement.dialogueText.Assign("unchanged");
  const bool asNull = (mode & 1) != 0 && length == 0;
  EditorAction_OnTextEntered(asNull ? nullptr : typed);
  if (asNull) {
    // A written dialogue left without text is abandoned.
    SLFuzzCheck(std::strcmp(placement.dialogueText.CStr(), "unchanged") == 0);
  } else {
    const char* kept = placement.dialogueText.CStr();
    const size_t keptLength = std::strlen(kept);
    const long start = ExpectedDialogueStart(bytes, length);
    SLFuzzCheck((keptLength == 0) == (start < 0));
    if (start >= 0) {
      SLFuzzCheck(keptLength == length - size_t(start));
      SLFuzzCheck(std::memcmp(kept, typed + start, keptLength) == 0);
    }
  }

  const char* trimmed = EditorText_Trim(typed);
  size_t first = 0;
  while (first < length && bytes[first] <= 32) ++first;
  SLFuzzCheck((trimmed == nullptr) == (first == length));
  if (trimmed) SLFuzzCheck(trimmed == typed + first);
  return 0;
}
