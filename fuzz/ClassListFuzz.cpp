// Class lists on arbitrary text: the match ends, reads nothing past the list (it is copied
// into a buffer of exactly its size), and agrees with a small reference matcher written
// from the list's rules: comma-separated tokens, either quote character toggling a quoted
// run, blanks outside quotes dropped at the start and trimmed at the end, tokens cut at
// 1023 characters, "TODOS"/"TODAS" matching any name, "-name" refusing the name wherever
// it stands, and an empty token ending the list.
// Input: one byte for the step (1 or 2), the name up to a zero byte, then the list.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/editor/ClassList.h"
#include "foundation/SLStr.h"
#include "fuzz/FuzzProgram.h"

namespace {

bool IsQuote(char c) { return c == '"' || c == '\''; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Every token of the list in order, as the matcher reads them (each cut to `limit`).
std::vector<std::string> Tokens(const std::string& list, size_t limit) {
  std::vector<std::string> tokens;
  size_t at = 0;
  for (;;) {
    std::string token;
    bool quoted = false, cut = false;
    for (; at < list.size(); ++at) {
      const char c = list[at];
      if (quoted) {
        if (IsQuote(c))
          quoted = false;
        else if (token.size() < limit)
          token += c;
        else
          cut = true;
      } else if (c == ',') {
        break;
      } else if (IsQuote(c)) {
        quoted = true;
      } else if (IsBlank(c) && token.empty()) {
      } else if (token.size() < limit) {
        token += c;
      } else {
        cut = true;
      }
    }
    (void)cut;
    while (!token.empty() && IsBlank(token.back())) token.pop_back();
    tokens.push_back(token);
    if (at >= list.size()) break;
    ++at;  // the comma
  }
  return tokens;
}

u32 Reference(const std::string& list, const char* name, u32 step) {
  const std::vector<std::string> tokens = Tokens(list, 1023);
  u32 found = 0;
  for (size_t position = 1; position <= tokens.size(); position += step) {
    const std::string& token = tokens[position - 1];
    if (token.empty()) break;
    if (token[0] == '-') {
      if (SLStrICmpA(token.c_str() + 1, name) == 0) return 0;
      continue;
    }
    if (!found && (SLStrICmpA(token.c_str(), "TODOS") == 0 || SLStrICmpA(token.c_str(), "TODAS") == 0 ||
                   SLStrICmpA(token.c_str(), name) == 0))
      found = u32(position);
  }
  return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const u32 step = 1 + (data[0] & 1);
  const char* text = reinterpret_cast<const char*>(data + 1);
  const size_t rest = size - 1;
  const size_t nameLength = strnlen(text, rest);
  const std::string name(text, nameLength);
  const size_t listStart = nameLength < rest ? nameLength + 1 : rest;
  const std::string list(text + listStart, strnlen(text + listStart, rest - listStart));
  // Exactly sized copies: a read past either text is a read past its block.
  std::vector<char> listCopy(list.begin(), list.end()), nameCopy(name.begin(), name.end());
  listCopy.push_back(0), nameCopy.push_back(0);
  u32 value = 0;
  const u32 position = ClassList_Match(listCopy.data(), nameCopy.data(), step, &value);
  SLFuzzCheck(position == Reference(list, name.c_str(), step));
  if (position && step == 2) {
    const std::vector<std::string> tokens = Tokens(list, 255);
    const std::string next = position < tokens.size() ? tokens[position] : std::string();
    // Plain short numbers read back as themselves.
    if (!next.empty() && next.size() < 9 && next.find_first_not_of("0123456789") == std::string::npos)
      SLFuzzCheck(value == u32(std::stoul(next)));
  }
  return 0;
}
