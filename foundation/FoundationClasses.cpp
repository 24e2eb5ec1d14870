#include "foundation/FoundationClasses.h"

#include "foundation/SLDigest.h"
#include "foundation/SLFormula.h"
#include "foundation/SLObject.h"

void SLRegisterFoundationClasses() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  // The fixed order of registration: add new classes at the end of this list.
  static const SLClassRecord* const records[] = {
      nullptr,
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
  };
  for (const SLClassRecord* record : records)
    if (record) SLRegisterClass(record);
}
