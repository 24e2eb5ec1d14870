// The "msacm32.dll" stand-in: audio conversion streams that decode a compressed
// WAVEFORMATEX source (ADPCM, G.711, GSM, float and the other encodings the codec library
// knows by their RIFF tag) into interleaved PCM of the same rate and channel count.
//
// The records follow the published layout, with this platform's pointer width: every
// structure-size field must hold sizeof the record as declared here.
#pragma once

#include "platform/winsound.h"
#include "platform/wintypes.h"

using HACMSTREAM = void*;
using HACMDRIVER = void*;
using MMRESULT = UINT;

struct ACMSTREAMHEADER {
  DWORD cbStruct;
  DWORD fdwStatus;
  DWORD_PTR dwUser;
  BYTE* pbSrc;
  DWORD cbSrcLength;
  DWORD cbSrcLengthUsed;
  DWORD_PTR dwSrcUser;
  BYTE* pbDst;
  DWORD cbDstLength;
  DWORD cbDstLengthUsed;
  DWORD_PTR dwDstUser;
  DWORD dwReservedDriver[10];
};

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

inline constexpr DWORD ACM_STREAMOPENF_NONREALTIME = 0x4;
inline constexpr DWORD ACM_STREAMCONVERTF_BLOCKALIGN = 0x4;
inline constexpr DWORD ACM_STREAMCONVERTF_START = 0x10;
inline constexpr DWORD ACM_STREAMCONVERTF_END = 0x20;
inline constexpr DWORD ACMSTREAMHEADER_STATUSF_DONE = 0x10000;
inline constexpr DWORD ACMSTREAMHEADER_STATUSF_PREPARED = 0x20000;
inline constexpr DWORD ACM_FORMATSUGGESTF_WFORMATTAG = 0x10000;

// The source is read as a WAVEFORMATEX followed by its cbSize extra bytes. The destination
// must be PCM (tag 1) of 8 (unsigned), 16, 32 or 64 bits with the source's rate and
// channels. Answers 0, MMSYSERR_NOMEM, or ACMERR_NOTPOSSIBLE for a pair it cannot convert.
MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const WAVEFORMATEX* source,
                       const WAVEFORMATEX* destination, void* filter, DWORD_PTR callback, DWORD_PTR instance,
                       DWORD flags);
MMRESULT acmStreamClose(HACMSTREAM stream, DWORD flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
// Converts the header's source bytes into its destination. With ACM_STREAMCONVERTF_BLOCKALIGN
// only whole source blocks are consumed; output is always whole sample frames. Frames
// decoded that do not fit are kept and delivered first by the next call;
// ACM_STREAMCONVERTF_START resets the codec and drops them.
MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags);
// No suggestions are made: ACMERR_NOTPOSSIBLE.
MMRESULT acmFormatSuggest(HACMDRIVER driver, const WAVEFORMATEX* source, WAVEFORMATEX* destination,
                          DWORD destinationSize, DWORD flags);

using SLAcmStreamOpenFn = MMRESULT (*)(HACMSTREAM*, HACMDRIVER, const WAVEFORMATEX*, const WAVEFORMATEX*, void*,
                                       DWORD_PTR, DWORD_PTR, DWORD);
using SLAcmStreamCloseFn = MMRESULT (*)(HACMSTREAM, DWORD);
using SLAcmStreamHeaderFn = MMRESULT (*)(HACMSTREAM, ACMSTREAMHEADER*, DWORD);
using SLAcmFormatSuggestFn = MMRESULT (*)(HACMDRIVER, const WAVEFORMATEX*, WAVEFORMATEX*, DWORD, DWORD);

// The codec library reports damaged data through its own log; the stand-ins answer with
// their return values instead and keep it quiet.
void SLPlatformQuietCodecs();
