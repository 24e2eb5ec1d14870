// The calling thread's set of transcoders and the choice among them by code page.
#pragma once

#include "foundation/SLSingleton.h"
#include "foundation/SLTranscoder.h"
#include "foundation/SLTypes.h"

namespace SLInternals {

// The calling thread's transcoders, created on its first conversion.
class CMXStrConvertHelper : public CSLBaseThreadData {
 public:
  CMXStrConvertHelper();
  ~CMXStrConvertHelper() override;
  bool IsComplete() const { return m_codePage && m_symbols && m_utf8; }

  CSLStringTranscoderCODEPAGE* m_codePage;
  CSLStringTranscoderSYMBOLS* m_symbols;
  CSLStringTranscoderUTF8* m_utf8;
};

}  // namespace SLInternals

// The calling thread's transcoder for a code page, reset and configured; null on failure.
CSLBaseStringTranscoder* SLGetTranscoder(u32 codePage, u32 flags);
