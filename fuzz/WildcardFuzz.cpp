// Wildcard matching against a plain reference matcher (dynamic programming over pattern
// and text positions: "*" any run, "?" any one character but ".").
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/SLCaseMap.h"
#include "foundation/SLWildcard.h"

namespace {

bool Same(char p, char t, bool ignoreCase) {
  if (p == '?') return t != '.';
  return ignoreCase ? SLToLowerA(u8(p)) == SLToLowerA(u8(t)) : p == t;
}

bool Reference(const std::string& pattern, const std::string& text, bool ignoreCase) {
  // match[i][j]: pattern from i matches text from j.
  std::vector<std::vector<char>> match(pattern.size() + 1, std::vector<char>(text.size() + 1, 0));
  match[pattern.size()][text.size()] = 1;
  for (std::size_t i = pattern.size(); i-- > 0;)
    for (std::size_t j = text.size() + 1; j-- > 0;) {
      if (pattern[i] == '*')
        match[i][j] = match[i + 1][j] || (j < text.size() && match[i][j + 1]);
      else
        match[i][j] = j < text.size() && Same(pattern[i], text[j], ignoreCase) && match[i + 1][j + 1];
    }
  return match[0][0];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 200) return 0;
  bool ignoreCase = data[0] & 1;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  rest.resize(std::strlen(rest.c_str()));
  std::size_t split = rest.find('\n');
  if (split == std::string::npos) return 0;
  std::string pattern = rest.substr(0, split), text = rest.substr(split + 1);
  if (SLWildcardMatchA(pattern.c_str(), text.c_str(), ignoreCase) != Reference(pattern, text, ignoreCase))
    __builtin_trap();
  return 0;
}
