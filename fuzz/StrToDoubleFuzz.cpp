// Text to double against glibc's strtod: for every input both read as a number without a
// range error, the same bits and the same end position.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "foundation/SLError.h"
#include "foundation/SLStr.h"

namespace {

bool IsDigit(char c, bool hex) {
  return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// True when strtod read `prefix` in the grammar both sides share ([sign] mantissa with at
// least one digit [exponent with digits]) and the text after it does not begin an
// exponent or hexadecimal prefix that one side takes and the other leaves.
bool SharedGrammar(const char* text, std::size_t used) {
  std::size_t i = 0;
  if (i < used && (text[i] == '+' || text[i] == '-')) ++i;
  bool hex = i + 1 < used && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
  if (hex) i += 2;
  std::size_t digits = 0;
  bool point = false;
  for (; i < used; ++i) {
    if (IsDigit(text[i], hex))
      ++digits;
    else if (text[i] == '.' && !point)
      point = true;
    else
      break;
  }
  if (digits == 0) return false;
  char marker = text[i];
  if (i < used) {
    if (!(hex ? (marker == 'p' || marker == 'P') : (marker == 'e' || marker == 'E'))) return false;
    ++i;
    if (i < used && (text[i] == '+' || text[i] == '-')) ++i;
    if (i >= used) return false;
    for (; i < used; ++i)
      if (!IsDigit(text[i], false)) return false;
    return true;
  }
  // What follows the number: an exponent letter without digits, or the "x" of "0x", is
  // read differently (both by design).
  char next = text[used];
  if (hex ? (next == 'p' || next == 'P') : (next == 'e' || next == 'E')) return false;
  if (next == 'x' || next == 'X') return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));
  char* peerEnd = nullptr;
  errno = 0;
  double expected = std::strtod(text.c_str(), &peerEnd);
  bool peerRange = errno == ERANGE;
  std::size_t used = std::size_t(peerEnd - text.c_str());
  const char* end = nullptr;
  double value = SLStrToDoubleA(text.c_str(), SL_TEXT_TO_END, nullptr, &end);
  u32 code = SLGetLastError();
  if (used == 0 || peerRange || !SharedGrammar(text.c_str(), used)) return 0;
  // glibc 2.36 misrounds some hexadecimal denormals; those are checked by the unit tests.
  if (std::fabs(expected) < DBL_MIN && text.find_first_of("xX") != std::string::npos) return 0;
  if (code != SL_OK && code != SL_E_TEXT_LEFT) __builtin_trap();
  if (std::memcmp(&value, &expected, 8) != 0) __builtin_trap();
  if (end != peerEnd) __builtin_trap();
  return 0;
}
