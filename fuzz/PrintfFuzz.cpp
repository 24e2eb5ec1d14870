// Format strings from the fuzzer with a fixed set of arguments: the engine must not crash
// and the buffer front ends must always leave a terminated text within the size.
//
// Every integer-class argument (32 of them, and 16 doubles) is the address of a date
// followed by zeros, so that whatever a conversion takes it for (int, long, string, date)
// stays harmless. Callback conversions, '*' fields, %n and dates with a names record are
// turned into plain ones, and runs of digits are kept short so that widths and precisions
// stay in the thousands.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "foundation/SLDateTime.h"
#include "foundation/SLPrintf.h"

namespace {

alignas(16) unsigned char g_block[4096];

std::string Sanitise(const uint8_t* data, size_t size) {
  std::string format(reinterpret_cast<const char*>(data), size);
  size_t digits = 0, conversions = 0;
  for (char& c : format) {
    // Each conversion takes at most two pointer-class arguments: 16 of them fit the 32 given.
    if (c == '%' && ++conversions > 16) c = '_';
    if (c == 'k' || c == 'K' || c == 'n') c = 'd';
    if (c == '*') c = '1';
    digits = (c >= '0' && c <= '9') ? digits + 1 : 0;
    if (digits > 3) c = '.';
  }
  // "%#t" takes a second pointer as its names record: the date is no such record.
  if (format.find('t') != std::string::npos)
    for (char& c : format)
      if (c == '#') c = '+';
  return format;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  u32 bufferSize = data[0] % 64;
  std::string format = Sanitise(data + 1, size - 1);
  static CSLDateTime* date = new (g_block) CSLDateTime(0x12345678, 0x0ABCDEF0, true);
  void* p = date;
  char buffer[80];
  std::memset(buffer, 'Z', sizeof buffer);
#define SL_FUZZ_ARGS                                                                                      \
  p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, 1.5, -2.25, 1e300, \
      5e-324, 0.1, 3.0, 7.0, 8.0, -0.0, 2.5, 1e-300, 123456.789, 9.5, 0.35, 1e22, 4.0
  u32 n = SLSnprintfA(buffer, bufferSize, format.c_str(), SL_FUZZ_ARGS);
  if (bufferSize) {
    size_t end = 0;
    while (end < bufferSize && buffer[end]) ++end;
    if (end == bufferSize) __builtin_trap();  // not terminated within the size
    if (n < bufferSize && end > n) __builtin_trap();
  } else if (buffer[0] != 'Z') {
    __builtin_trap();
  }
  if (buffer[bufferSize] != 'Z' && bufferSize < sizeof buffer) __builtin_trap();  // wrote past the size

  std::u16string wide(format.begin(), format.end());
  SLWChar wideBuffer[40];
  SLSnprintfW(wideBuffer, 40, wide.c_str(), SL_FUZZ_ARGS);
  return 0;
}
