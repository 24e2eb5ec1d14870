// Conversions between code pages, UTF-8, the ANSI code page and UTF-16, whole blocks or
// streamed through callbacks, on the calling thread's transcoders.
#pragma once

#include "foundation/SLTranscoder.h"
#include "foundation/SLTypes.h"

// Block forms: `size` holds the target capacity in target characters on entry (ignored
// for a null target, which measures) and the number produced on return; a NUL follows the
// output when room remains. `length` SL_TEXT_TO_END runs to the source's NUL.
bool SLMultiByteToAnsi(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLMultiByteToWide(u32 codePage, SLWChar* target, u32* size, const char* source, u32 length, u32 flags);
bool SLAnsiToMultiByte(u32 codePage, char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLWideToMultiByte(u32 codePage, char* target, u32* size, const SLWChar* source, u32 length, u32 flags);
bool SLUtf8ToAnsi(char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLUtf8ToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags);
bool SLAnsiToUtf8(char* target, u32* size, const char* source, u32 length, u32 flags);
bool SLWideToUtf8(char* target, u32* size, const SLWChar* source, u32 length, u32 flags);
bool SLAnsiToWide(SLWChar* target, u32* size, const char* source, u32 length, u32 flags);
bool SLWideToAnsi(char* target, u32* size, const SLWChar* source, u32 length, u32 flags);

// Streaming forms: units or bytes are pulled from `input` and pushed to `output` (both with
// `context`). The input ends its data by returning false with the error code at 0; false
// with a code set, or false from the output, fails the conversion (0x80002011 when the
// callback set no code of its own).
bool SLMultiByteToWideStream(u32 codePage, SLUnitSink output, SLByteSource input, void* context, u32 flags);
bool SLWideToMultiByteStream(u32 codePage, SLByteSink output, SLUnitSource input, void* context, u32 flags);
bool SLAnsiToWideStream(SLUnitSink output, SLByteSource input, void* context, u32 flags);
bool SLWideToAnsiStream(SLByteSink output, SLUnitSource input, void* context, u32 flags);
