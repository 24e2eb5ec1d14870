// The framework's printf engine: one walk over an 8-bit or UTF-16 format that hands
// the produced characters one by one to a writer, with exact floating-point digits,
// centre alignment, digit grouping, binary integers, callback and date conversions.
//
// Arguments are read as C passes them on this platform: no size prefix an int, 'h' a
// 16-bit value, 'l' a long, "I64" 64 bits, 'p' a pointer, 'k' a function and a
// pointer-sized value; floats always a double.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "foundation/SLSingleton.h"
#include "foundation/SLString.h"
#include "foundation/SLTypes.h"

enum : u32 {
  SL_E_PRINTF_UNKNOWN_CONVERSION = 0x80001002,
};

// Takes one character (an 8- or 16-bit value); returns 0 to refuse it (output full).
using SLPrintfWriter = u32 (*)(u32 ch, void* context);
// Calls the writer; every caller passes SLPrintfDispatch.
using SLPrintfDispatchFunc = u32 (*)(SLPrintfWriter writer, u32 ch, void* context);
u32 SLPrintfDispatch(SLPrintfWriter writer, u32 ch, void* context);
// The 'k' conversion: sets *text to a zero-terminated text and returns non-zero.
using SLPrintfTextCallback = int (*)(const void** text, std::uintptr_t value);

// What the engine asks of the float formatters.
struct SLFloatRequest {
  void* output;  // CSLStringAnsi* (charSize 1) or CSLStringWide* (charSize 2)
  u32 charSize;
  double value;
  u32 alternate;  // '#'
  i32 precision;  // -1: none
  u32 conversion;
  i32 sign;  // out: -1 for a negative value (-0.0 included), else 1
};

bool SLFormatFloatDecimal(SLFloatRequest* request);
bool SLFormatFloatHex(SLFloatRequest* request);
bool SLGroupFloatDigits(SLFloatRequest* request, i32 groupSize, bool hexadecimal);

u32 SLVFormatA(SLPrintfWriter writer, void* context, const char* format, va_list args);
u32 SLVFormatW(SLPrintfWriter writer, void* context, const SLWChar* format, va_list args);

// Always terminated within `size` when size > 0; the result is the length of the text
// when it fits, else `size` (the text is then cut to size - 1 characters).
u32 SLSnprintfA(char* buffer, u32 size, const char* format, ...);
u32 SLVsnprintfA(char* buffer, u32 size, const char* format, va_list args);
u32 SLSnprintfW(SLWChar* buffer, u32 size, const SLWChar* format, ...);
u32 SLVsnprintfW(SLWChar* buffer, u32 size, const SLWChar* format, va_list args);

namespace SLInternals {

// The calling thread's scratch strings for formatting.
class CMXSPrintfHelper : public CSLBaseThreadData {
 public:
  ~CMXSPrintfHelper() override = default;
  static CSLBaseThreadData* CreateInstance();
  // The calling thread's helper, created on first use; null when it cannot be had.
  static CMXSPrintfHelper* Get();

  u32 Format(u32 charSize, SLPrintfDispatchFunc dispatch, SLPrintfWriter writer, void* context,
             const void* format, va_list args);

  CSLStringAnsi m_numberA;
  CSLStringWide m_numberW;
  CSLStringAnsi m_dateFormatA;
  CSLStringWide m_dateFormatW;
};

}  // namespace SLInternals
