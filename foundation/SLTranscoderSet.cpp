// The calling thread's set of transcoders, made on its first conversion.
//
// One of the text files that know each other (SLString, SLPrintf, SLTextConvert,
// SLTranscoderSet, SLTranscoder): strings convert through the transcoders, the code-page
// transcoder collects its text in strings, and strings format through the printf engine,
// which keeps its number and date formats in strings. The headers form no loop.
#include "foundation/SLTranscoderSet.h"

#include "foundation/SLError.h"

namespace SLInternals {

CMXStrConvertHelper::CMXStrConvertHelper()
    : m_codePage(new CSLStringTranscoderCODEPAGE()),
      m_symbols(new CSLStringTranscoderSYMBOLS()),
      m_utf8(new CSLStringTranscoderUTF8()) {}

CMXStrConvertHelper::~CMXStrConvertHelper() {
  SLErrorKeeper keep;
  if (m_codePage) m_codePage->Release();
  if (m_symbols) m_symbols->Release();
  if (m_utf8) m_utf8->Release();
}

}  // namespace SLInternals

namespace {

using SLInternals::CMXStrConvertHelper;

SLThreadDataSlot g_convertHelperSlot;

CSLBaseThreadData* MakeConvertHelper() {
  auto* helper = new CMXStrConvertHelper();
  if (!helper) return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLBaseThreadData*>(nullptr));
  if (!helper->IsComplete()) {
    helper->DeletingDtor(1);
    return SLFail(SL_E_OUT_OF_MEMORY, static_cast<CSLBaseThreadData*>(nullptr));
  }
  return helper;
}

}  // namespace

CSLBaseStringTranscoder* SLGetTranscoder(u32 codePage, u32 flags) {
  auto* helper = static_cast<CMXStrConvertHelper*>(SLGetThreadData(&g_convertHelperSlot, &MakeConvertHelper));
  if (!helper) return nullptr;
  CSLBaseStringTranscoder* transcoder;
  if (codePage == CP_SYMBOL)
    transcoder = helper->m_symbols;
  else if (codePage == CP_UTF8)
    transcoder = helper->m_utf8;
  else
    transcoder = helper->m_codePage;
  {
    // Whatever an earlier conversion left open ends here; idle directions are no error.
    SLErrorKeeper keep;
    if (transcoder->IsEncoding()) transcoder->FinishEncode();
    if (transcoder->IsDecoding()) transcoder->FinishDecode();
  }
  if (transcoder == helper->m_codePage &&
      (!helper->m_codePage->SetCodePage(codePage) || !helper->m_codePage->SetFlags(flags)))
    return nullptr;
  return SLSucceed(transcoder);
}
