// The formula solver's private block, shared by its registry and its evaluator.
#pragma once

#include "foundation/SLFormula.h"

namespace SLInternals {

struct SLFormulaOperatorEntry {
  SLFormulaOperatorEntry* next;
  CSLFormulaOperator* op;  // one reference held
  u32 length;              // of the symbol
  i32 precedence;
  char* symbol;
};

struct SLFormulaFunctionEntry {
  SLFormulaFunctionEntry* next;
  CSLFormulaFunction* function;  // one reference held
  i32 argCount;
  u32 length;  // of the name
  char* name;
  char* description;
};

struct SLFormulaVariableEntry {
  SLFormulaVariableEntry* next;
  u32 length;  // of the name
  double value;
  char* name;
};

// Each list is sorted by length, longest first, a new entry after those of its length.
struct SLFormulaSolverBlock {
  SLFormulaOperatorEntry* operators;
  SLFormulaFunctionEntry* functions;
  SLFormulaVariableEntry* variables;
  char decimalSeparator;
  char listSeparator;
  CSLFormulaFunction* defaultAverage;
  CSLFormulaOperator* defaultOperators[3];
};

// A built-in function: writes the result, or sets the failing argument and returns a negative code.
using SLFormulaBuiltin = i32 (*)(double* result, i32* failingArgument, const double* args, u32 count);
struct SLFormulaBuiltinRow {
  const char* name;
  i32 argCount;
  SLFormulaBuiltin function;
};
extern const SLFormulaBuiltinRow kSLFormulaBuiltins[24];

SLFormulaVariableEntry* SLFormulaFindVariable(SLFormulaSolverBlock* block, const char* name, u32 length);
bool SLFormulaSetVariable(SLFormulaSolverBlock* block, const char* name, u32 length, double value,
                          bool overwrite);

}  // namespace SLInternals
