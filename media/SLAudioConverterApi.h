// The system's audio converter ("msacm32.dll") bound by name, as the readers of compressed
// sound use it, and what both readers know of WAVEFORMATEX records.
#pragma once

#include "foundation/SLError.h"
#include "foundation/SLLibrary.h"
#include "foundation/SLTypes.h"
#include "media/reader/SLBaseVideoAudioReader.h"
#include "platform/msacm32/Acm.h"

// The published PCM sub-format {00000001-0000-0010-8000-00AA00389B71} as stored.
inline constexpr u8 kSLPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                           0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct SLAudioConverterApi {
  HMODULE library;
  SLAcmStreamOpenFn pAcmStreamOpen;
  SLAcmStreamHeaderFn pAcmStreamPrepareHeader;
  SLAcmStreamHeaderFn pAcmStreamUnprepareHeader;
  SLAcmStreamHeaderFn pAcmStreamConvert;
  SLAcmStreamCloseFn pAcmStreamClose;
  SLAcmFormatSuggestFn pAcmFormatSuggest;  // required, never called

  // Loads the library and binds the six entry points; 0x800e0001 when any is missing.
  bool Load() {
    library = SLLoadLibrary(u"msacm32.dll");
    if (!library || !SLBindProc(library, u"acmStreamOpen", &pAcmStreamOpen) ||
        !SLBindProc(library, u"acmStreamPrepareHeader", &pAcmStreamPrepareHeader) ||
        !SLBindProc(library, u"acmStreamUnprepareHeader", &pAcmStreamUnprepareHeader) ||
        !SLBindProc(library, u"acmStreamConvert", &pAcmStreamConvert) ||
        !SLBindProc(library, u"acmStreamClose", &pAcmStreamClose) ||
        !SLBindProc(library, u"acmFormatSuggest", &pAcmFormatSuggest))
      return SLFail(SL_E_LIBRARY_NOT_LOADED, false);
    return true;
  }
  void Free() {
    if (library) SLFreeLibrary(library);
    *this = SLAudioConverterApi{};
  }
  // Opens a non-real-time stream from `source` (a WAVEFORMATEX with its extra bytes) to
  // `destination`: 0x80000001 when the converter is out of memory, 0x800f0007 for any other
  // refusal or an exception inside it.
  bool Open(HACMSTREAM* stream, const void* source, const WAVEFORMATEX* destination) {
    MMRESULT opened = ACMERR_NOTPOSSIBLE;
    try {
      opened = pAcmStreamOpen(stream, nullptr, static_cast<const WAVEFORMATEX*>(source), destination, nullptr, 0, 0,
                              ACM_STREAMOPENF_NONREALTIME);
    } catch (...) {
      opened = ACMERR_NOTPOSSIBLE;
    }
    if (opened == MMSYSERR_NOERROR) return true;
    *stream = nullptr;
    return SLFail(opened == MMSYSERR_NOMEM ? u32(SL_E_OUT_OF_MEMORY) : u32(SL_E_AUDIO_FORMAT), false);
  }
  // One conversion; an exception inside it is a failed conversion.
  MMRESULT Convert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD flags) {
    try {
      return pAcmStreamConvert(stream, header, flags);
    } catch (...) {
      return ACMERR_NOTPOSSIBLE;
    }
  }
};
