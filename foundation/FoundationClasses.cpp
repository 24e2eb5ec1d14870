#include "foundation/FoundationClasses.h"

#include "foundation/SLArray.h"
#include "foundation/SLBaseEvent.h"
#include "foundation/SLDateTime.h"
#include "foundation/SLDebug.h"
#include "foundation/SLDigest.h"
#include "foundation/SLFormula.h"
#include "foundation/SLObject.h"
#include "foundation/SLString.h"
#include "foundation/SLThread.h"
#include "foundation/SLTranscoder.h"

void SLRegisterFoundationClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      &CSLCircularBuffer::s_classRecord,
      &CSLEnumerateModuleList::s_classRecord,
      &CSLThread::s_classRecord,
      &CSLWorkerThread::s_classRecord,
      &CSLBaseEvent::s_classRecord,
      &CSLEventSourceDying::s_classRecord,
      &CSLStringAnsi::s_classRecord,
      &CSLStringWide::s_classRecord,
      &CSLTimeSpan::s_classRecord,
      &CSLDateTime::s_classRecord,
      CSLBaseDigestAlgorithm::GetClassRecord(),
      CSLDigestAlgorithmCRC32::GetClassRecord(),
      CSLDigestAlgorithmSecureHash::GetClassRecord(),
      CSLFormulaOperator::GetClassRecord(),
      CSLFormulaFunction::GetClassRecord(),
      CSLFormulaOperator_DifferentTo::GetClassRecord(),
      CSLFormulaOperator_BinaryAnd::GetClassRecord(),
      CSLFormulaOperator_BinaryOr::GetClassRecord(),
      CSLFormulaFunction_Average::GetClassRecord(),
      CSLFormulaSolver::GetClassRecord(),
      &CSLBaseStringTranscoder::s_classRecord,
      &CSLStringTranscoderCODEPAGE::s_classRecord,
      &CSLStringTranscoderSYMBOLS::s_classRecord,
      &CSLStringTranscoderUTF8::s_classRecord,
  };
  for (const SLClassRecord* record : records)
    if (record) SLRegisterClass(record);
}
