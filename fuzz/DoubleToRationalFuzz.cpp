// Every double: either a clean failure, or a rational with a positive denominator, the
// value's sign on the numerator and a quotient close to the value.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/SLError.h"
#include "foundation/SLFormula.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  double value;
  std::memcpy(&value, data, 8);
  SLRational r{};
  if (!SLDoubleToRational(&r, value)) {
    if (SLGetLastError() != 0x80040003) std::abort();
    if (r.numerator != 0 || r.denominator != 0) std::abort();
    return 0;
  }
  if (r.denominator <= 0) std::abort();
  if ((value < 0 && r.numerator > 0) || (value > 0 && r.numerator < 0)) std::abort();
  double quotient = double(r.numerator) / double(r.denominator);
  if (std::fabs(quotient - value) > 1e-9 * std::fmax(1.0, std::fabs(value))) std::abort();
  return 0;
}
